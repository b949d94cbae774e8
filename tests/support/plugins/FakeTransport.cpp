// A scripted transport plug-in for the exchange tests, code "FAKE".
//
// Each Send takes the first line of the script file that LIR_FAKE_SCRIPT names, and removes it:
//   ok              S_OK, with a result file that reports success
//   fail <text>     E_FAIL, with a result file whose response holds the text
//   fail-noresult   E_FAIL, no result file
//   fail-notxml     E_FAIL, with a result file that is not XML
// A missing or empty script answers ok. Before it answers, the call copies the send description
// and the data file it names into the next numbered folder (1, 2, ...) of LIR_FAKE_OUTBOX.
// Result files go to the temporary folder ($TMPDIR, else /tmp), as a real transport leaves them.
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
            result = WriteResult(ResponseDocument(line.substr(5)));
        } else if (line == "fail-notxml") {
            result = WriteResult("this is no <XML");
        }
        if (!result.empty() && resultPath)
            *resultPath = Dup(Utf8ToUtf16(result));
        return status;
    }

    std::int32_t IsReceiveEnabled() override { return 0; }
    HRESULT ReceiveLoop(CTransportChannel*) override { return S_OK; }
    void Log(const char*) override { }
    void FlushLog(CTransportChannel*) override { }
};

} // namespace

extern "C" __attribute__((visibility("default"))) ITransport* get_transport()
{
    static FakeTransport transport;
    return &transport;
}
