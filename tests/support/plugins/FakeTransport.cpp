// A scripted transport plug-in for the exchange tests, code "FAKE".
//
// Each Send takes the first line of the script file that LIR_FAKE_SCRIPT names, and removes it:
//   ok              S_OK, with a result file that reports success
//   fail <text>     E_FAIL, with a result file whose response holds the text (\r and \n stand for CR
//                   and LF)
//   fail-noresult   E_FAIL, no result file
//   fail-notxml     E_FAIL, with a result file that is not XML
// A missing or empty script answers ok. Before it answers, the call copies the send description
// and the data file it names into the next numbered folder (1, 2, ...) of LIR_FAKE_OUTBOX.
// Result files go to the temporary folder ($TMPDIR, else /tmp), as a real transport leaves them.
//
// Receiving is on when LIR_FAKE_RECEIVE names a script; the receive loop takes the start record and
// then hands over one item per line, appending each answer code to the file LIR_FAKE_ACKLOG names:
//   1 <text>          information message with that info text
//   2 <path>, 3 <path> data file, reference-data file
//   4 <op>|<message>  error report (texts allocated for the host to free)
//   4null <op>        error report without a message
//   8 <text>          log text
//   <n>               any other code, without data
//   sleep <ms>        a pause
//   every <ms> <text> a log text every <ms>, until the host's stop
// With LIR_FAKE_DEAF set the loop ignores the host's stop.
// In texts, \r and \n stand for CR and LF.
#include "Codepage.h"

#include <transport/ITransport.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

char16_t* Dup(std::u16string_view s)
{
    auto* out = static_cast<char16_t*>(std::malloc((s.size() + 1) * sizeof(char16_t)));
    std::memcpy(out, s.data(), s.size() * sizeof(char16_t));
    out[s.size()] = 0;
    return out;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The first line of the script, which is removed from it.
std::string TakeScriptLine()
{
    const std::string script = Env("LIR_FAKE_SCRIPT");
    std::ifstream in(script, std::ios::binary);
    if (!in)
        return "ok";
    std::stringstream all;
    all << in.rdbuf();
    in.close();
    const std::string text = all.str();
    const std::size_t end = text.find('\n');
    std::string line = text.substr(0, end);
    std::ofstream(script, std::ios::binary | std::ios::trunc) << (end == std::string::npos ? "" : text.substr(end + 1));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line.empty() ? "ok" : line;
}

// The text of the description's nameFile, found as the mail plug-in finds it.
std::string DataFileOf(const std::string& description)
{
    std::string path;
    xmlDocPtr doc =
        xmlReadFile(description.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    const xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
    for (const xmlNode* node = root ? root->children : nullptr; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, BAD_CAST "nameFile") == 0) {
            xmlChar* text = xmlNodeGetContent(node);
            path = text ? reinterpret_cast<const char*>(text) : "";
            xmlFree(text);
        }
    }
    xmlFreeDoc(doc);
    return path;
}

void CopyToOutbox(const std::string& description)
{
    const std::string outbox = Env("LIR_FAKE_OUTBOX");
    if (outbox.empty())
        return;
    std::error_code ec;
    fs::create_directories(outbox, ec);
    int n = 1;
    while (fs::exists(fs::path(outbox) / std::to_string(n), ec))
        ++n;
    const fs::path folder = fs::path(outbox) / std::to_string(n);
    fs::create_directory(folder, ec);
    fs::copy_file(description, folder / fs::path(description).filename(), ec);
    const std::string data = DataFileOf(description);
    if (!data.empty())
        fs::copy_file(data, folder / fs::path(data).filename(), ec);
}

// A new file in the temporary folder holding `bytes`; its path, or empty.
std::string WriteResult(const std::string& bytes)
{
    std::string temp = Env("TMPDIR");
    if (temp.empty())
        temp = "/tmp";
    std::string name = temp + "/fake-result-XXXXXX.xml";
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0)
        return {};
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    return ok ? name : std::string();
}

std::string ResponseDocument(const std::string& response)
{
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "fake_result");
    xmlDocSetRootElement(doc, root);
    xmlNewTextChild(root, nullptr, BAD_CAST "Response", BAD_CAST response.c_str());
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc, &bytes, &size, "UTF-8", 1);
    std::string out(reinterpret_cast<const char*>(bytes), std::size_t(size));
    xmlFree(bytes);
    xmlFreeDoc(doc);
    return out;
}

std::string Unescape(const std::string& text);

class FakeTransport final : public ITransport {
public:
    char16_t* GetDisplayName() override { return Dup(u"Сценарный транспорт"); }
    char16_t* GetCode() override { return Dup(u"FAKE"); }
    std::int32_t HasSettings() override { return 0; }
    void ShowSettings() override { }

    HRESULT Send(const char16_t* descriptionPath, char16_t** resultPath) override
    {
        const std::string description = Utf16ToUtf8(descriptionPath ? descriptionPath : u"");
        CopyToOutbox(description);
        const std::string line = TakeScriptLine();
        std::string result;
        HRESULT status = E_FAIL;
        if (line == "ok") {
            result = WriteResult(ResponseDocument("Завершено успешно."));
            status = S_OK;
        } else if (line.rfind("fail ", 0) == 0) {
            result = WriteResult(ResponseDocument(Unescape(line.substr(5))));
        } else if (line == "fail-notxml") {
            result = WriteResult("this is no <XML");
        }
        if (!result.empty() && resultPath)
            *resultPath = Dup(Utf8ToUtf16(result));
        return status;
    }

    std::int32_t IsReceiveEnabled() override { return Env("LIR_FAKE_RECEIVE").empty() ? 0 : 1; }
    HRESULT ReceiveLoop(CTransportChannel* channel) override;
    void Log(const char*) override { }
    void FlushLog(CTransportChannel*) override { }
};

std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
            out += text[++i] == 'r' ? '\r' : '\n';
            continue;
        }
        out += text[i];
    }
    return out;
}

char* DupText(const std::string& text)
{
    return strdup(text.c_str());
}

// The host's stop event, or none when LIR_FAKE_DEAF is set: a plug-in that never ends its loop.
int StopOf(const CTransportChannel* channel)
{
    return Env("LIR_FAKE_DEAF").empty() ? channel->stop : -1;
}

bool Stopped(const CTransportChannel* channel)
{
    pollfd stop{StopOf(channel), POLLIN, 0};
    return stop.fd >= 0 && ::poll(&stop, 1, 0) > 0;
}

// Hands one request over, waits for the answer (one that comes with the stop too) and records it.
void HandOver(CTransportChannel* channel, std::int32_t code, void* data)
{
    channel->code = code;
    channel->data = data;
    TransportEventSet(channel->notify);
    if (!TransportEventWait(channel->ack, -1, StopOf(channel)) && !TransportEventWait(channel->ack, 300))
        return;
    const std::string log = Env("LIR_FAKE_ACKLOG");
    if (!log.empty())
        std::ofstream(log, std::ios::app) << channel->code << '\n';
}

void FreeItem(CReceivedItem* item)
{
    std::free(item->from);
    std::free(item->subject);
    std::free(item->infoText);
    std::free(item->filePath);
    std::free(item);
}

CReceivedItem* NewItem()
{
    auto* item = static_cast<CReceivedItem*>(std::calloc(1, sizeof(CReceivedItem)));
    item->from = DupText("fake@localhost");
    item->subject = DupText("{Auto} fake");
    return item;
}

void RunScriptLine(CTransportChannel* channel, const std::string& line)
{
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : Unescape(line.substr(space + 1));
    if (word == "sleep") {
        usleep(useconds_t(std::atoi(rest.c_str())) * 1000);
    } else if (word == "every") {
        const std::size_t gap = rest.find(' ');
        const int ms = std::atoi(rest.c_str());
        const std::string text = gap == std::string::npos ? std::string() : rest.substr(gap + 1);
        while (!Stopped(channel)) {
            const char* pointer = text.c_str();
            HandOver(channel, TC_LOG, &pointer);
            usleep(useconds_t(ms) * 1000);
        }
    } else if (word == "1" || word == "2" || word == "3") {
        CReceivedItem* item = NewItem();
        (word == "1" ? item->infoText : item->filePath) = DupText(rest);
        HandOver(channel, std::atoi(word.c_str()), item);
        FreeItem(item);
    } else if (word == "4" || word == "4null") {
        // The host frees an error report that it shows; one without a message stays ours.
        auto* item = static_cast<CReceivedItem*>(std::calloc(1, sizeof(CReceivedItem)));
        const std::size_t bar = rest.find('|');
        item->from = DupText(rest.substr(0, bar));
        if (word == "4")
            item->infoText = DupText(bar == std::string::npos ? std::string() : rest.substr(bar + 1));
        HandOver(channel, TC_ERROR, item);
        if (word == "4null")
            FreeItem(item);
    } else if (word == "8") {
        const char* pointer = rest.c_str();
        HandOver(channel, TC_LOG, &pointer);
    } else {
        HandOver(channel, std::atoi(word.c_str()), nullptr);
    }
}

HRESULT FakeTransport::ReceiveLoop(CTransportChannel* channel)
{
    if (!channel)
        return E_FAIL;
    std::string folder;
    if (channel->code == TC_START && channel->data)
        if (const char* text = *static_cast<const char* const*>(channel->data))
            folder = text;
    TransportEventSet(channel->notify);
    std::ifstream script(Env("LIR_FAKE_RECEIVE"), std::ios::binary);
    std::string line;
    while (!Stopped(channel) && std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            RunScriptLine(channel, line);
    }
    return S_OK;
}

} // namespace

extern "C" __attribute__((visibility("default"))) ITransport* get_transport()
{
    static FakeTransport transport;
    return &transport;
}
