// Sending a data envelope with a 10 MB forecast data file to an SMTP sink on loopback, beside a
// raw-deflate pass over the same file and a plain libcurl upload of the finished message; and
// receiving that message from dovecot in one poll of the receive loop, beside a plain RETR of it
// by the POP3 client and by Python's poplib.
// scripts/bench-mail.sh starts the peers: the sink's port comes from SMTPTEST_PORT, the POP3
// server's from POP3TEST_PORT with the mailbox POP3TEST_USER / POP3TEST_PASSWORD whose Maildir
// is POP3TEST_MAILDIR.
#include "Codepage.h"
#include "MailFiles.h"
#include "MailReceive.h"
#include "MailSender.h"
#include "MailSettings.h"
#include "MailTexts.h"
#include "MailTransport.h"
#include "Maildir.h"
#include "Pop3Session.h"
#include "ReceivedMail.h"
#include "TransportTestHost.h"
#include "ZipBundle.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kDataSize = 10 * 1024 * 1024;
constexpr int kRepetitions = 7;

int g_port = 0;
int g_pop3Port = 0;
std::string g_pop3User, g_pop3Password, g_maildir;
std::string g_importFolder;
std::string g_dataFile;
std::u16string g_description;
std::string g_message; // the mail as Send builds it

void Die(const std::string& what)
{
    std::fprintf(stderr, "bench_mail_send: %s\n", what.c_str());
    std::exit(1);
}

// Rows of a forecast document with varied figures, as the program exports them.
void WriteForecastXml(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecastEnvelope version=\"2.0.1.40\" year=\"2026\">\n";
    std::size_t size = 0;
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000000; };
    char row[512];
    for (int i = 0; size < kDataSize; ++i) {
        const int n = std::snprintf(row, sizeof row,
                                    "  <forecastData receiver=\"%d\" product=\"%d\" name=\"Продукция %d\" "
                                    "sumLast=\"%u.%04u\" sumCurr=\"%u.%04u\" sumNext=\"%u.0000\" valueLast=\"%u\" "
                                    "valueCurr=\"%u\" valueNext=\"%u\"/>\n",
                                    i / 1000 + 1, i % 1000 + 1, i % 1000 + 1, next(), next() % 10000, next(),
                                    next() % 10000, next(), next() % 500, next() % 500, next() % 500);
        out.write(row, n);
        size += std::size_t(n);
    }
    out << "</forecastEnvelope>\n";
    if (!out)
        Die("cannot write " + path);
}

void WriteDescription(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecastEnvelope><toName>Орг-2</toName>"
           "<toEmail>org2@example.ru</toEmail><fromName>Орг-1</fromName><fromEmail>org1@example.ru</fromEmail>"
           "<nameFile>"
        << g_dataFile << "</nameFile><typeData>Прогноз</typeData></forecastEnvelope>\n";
}

// The finished message: the data file zipped as Send zips it, composed by the same builder.
void ComposeMessage(const std::string& folder)
{
    const std::string zip = folder + "/forecast.zip";
    if (!ZipDataFile(g_dataFile, zip))
        Die("cannot zip the data file");
    CCdoMailSender sender;
    sender.AddFrom("org1@example.ru", "Орг-1");
    sender.AddTo("org2@example.ru", "Орг-2");
    sender.SetSubject("{Auto} АИС ЛИР. Данные:Прогноз");
    sender.SetBody("[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <org2@example.ru> \n"
                   "[Data:] [АИС ЛИР]: \"Прогноз\" \n ");
    sender.AddAttachment(zip, "Прогноз.zip");
    g_message = sender.Compose(NewMailStamp("org1@example.ru"));
}

// The mailbox holds the message once, as message 1.
void FillMailbox()
{
    if (MaildirCount(g_maildir) == 0 && !DeliverToMaildir(g_maildir, g_message))
        Die("cannot deliver into " + g_maildir);
}

void BM_Send(benchmark::State& state)
{
    CMailTransport transport;
    for (auto _ : state) {
        char16_t* result = nullptr;
        const HRESULT hr = transport.Send(g_description.c_str(), &result);
        if (result) {
            ::unlink(Utf16ToUtf8(result).c_str());
            std::free(result);
        }
        if (hr != S_OK)
            state.SkipWithError("Send failed");
    }
}

void BM_RawDeflate(benchmark::State& state)
{
    std::vector<unsigned char> in(65536), out(65536);
    for (auto _ : state) {
        const int fd = ::open(g_dataFile.c_str(), O_RDONLY | O_CLOEXEC);
        z_stream z{};
        deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        std::size_t compressed = 0;
        ssize_t n;
        do {
            n = ::read(fd, in.data(), in.size());
            z.next_in = in.data();
            z.avail_in = uInt(std::max<ssize_t>(n, 0));
            const int flush = n > 0 ? Z_NO_FLUSH : Z_FINISH;
            do {
                z.next_out = out.data();
                z.avail_out = uInt(out.size());
                deflate(&z, flush);
                compressed += out.size() - z.avail_out;
            } while (z.avail_out == 0);
        } while (n > 0);
        deflateEnd(&z);
        ::close(fd);
        benchmark::DoNotOptimize(compressed);
    }
}

std::size_t ReadMessage(char* buffer, std::size_t size, std::size_t count, void* user)
{
    auto* at = static_cast<std::size_t*>(user);
    const std::size_t n = std::min(size * count, g_message.size() - *at);
    std::memcpy(buffer, g_message.data() + *at, n);
    *at += n;
    return n;
}

void BM_CurlUpload(benchmark::State& state)
{
    const std::string url = "smtp://127.0.0.1:" + std::to_string(g_port);
    for (auto _ : state) {
        CURL* curl = curl_easy_init();
        curl_slist* rcpt = curl_slist_append(nullptr, "org2@example.ru");
        std::size_t at = 0;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, "org1@example.ru");
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(g_message.size()));
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadMessage);
        curl_easy_setopt(curl, CURLOPT_READDATA, &at);
        const CURLcode code = curl_easy_perform(curl);
        curl_slist_free_all(rcpt);
        curl_easy_cleanup(curl);
        if (code != CURLE_OK)
            state.SkipWithError(curl_easy_strerror(code));
    }
}

// One poll of the receive loop: RETR, decoding, unzipping and the hand-over to the test host,
// up to the log of the poll's end.
void BM_ReceivePoll(benchmark::State& state)
{
    CMailTransport transport;
    for (auto _ : state) {
        FillMailbox();
        std::filesystem::remove(g_importFolder + "/forecast.xml");
        CTransportTestHost host(g_importFolder);
        const auto start = std::chrono::steady_clock::now();
        host.Start([&transport, &host](CTransportChannel* channel) {
            return RunReceiveLoop(transport, channel,
                                  CReceiveOptions{g_pop3Port, 3600, CPop3Session::kReplyTimeoutMs, host.StopEvent()});
        });
        const bool polled = host.WaitForLog(MailReceiveTexts::PollDone, 1, std::chrono::seconds(60));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        host.Stop();
        const auto items = host.Items();
        if (!polled || items.size() != 1 || items[0].file.value_or("").size() < kDataSize)
            state.SkipWithError("the poll did not hand the data file over");
    }
}

// RETR of the message alone, by the plug-in's client.
void BM_Pop3Retr(benchmark::State& state)
{
    for (auto _ : state) {
        FillMailbox();
        CPop3Session session;
        CReceivedMail mail;
        std::uint32_t size = 0;
        if (!session.Login("127.0.0.1", g_pop3User, g_pop3Password, g_pop3Port) || !session.GetMessageSize(1, size)) {
            state.SkipWithError("cannot log in to the POP3 server");
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        const bool fetched = session.Retr(1, mail);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        session.Quit();
        if (!fetched || mail.RawText().size() + 2 < g_message.size())
            state.SkipWithError("RETR failed");
    }
}

// The same RETR by Python's poplib, timed inside Python.
void BM_PoplibRetr(benchmark::State& state)
{
    static const char* script = R"(
import poplib, sys, time
pop = poplib.POP3("127.0.0.1", int(sys.argv[1]))
pop.user(sys.argv[2])
pop.pass_(sys.argv[3])
start = time.perf_counter()
reply, lines, octets = pop.retr(1)
print(time.perf_counter() - start, octets)
pop.quit()
)";
    for (auto _ : state) {
        FillMailbox();
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromLatin1(script), QString::number(g_pop3Port),
                      QString::fromStdString(g_pop3User), QString::fromStdString(g_pop3Password)});
        const QList<QByteArray> output =
            python.waitForFinished(60000) ? python.readAllStandardOutput().trimmed().split(' ') : QList<QByteArray>();
        bool timed = output.size() == 2;
        const double seconds = timed ? output[0].toDouble(&timed) : 0;
        state.SetIterationTime(timed ? seconds : 0);
        if (!timed || output[1].toULongLong() + 2 < g_message.size())
            state.SkipWithError("poplib's RETR failed");
    }
}

BENCHMARK(BM_Send)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions);
BENCHMARK(BM_RawDeflate)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions);
BENCHMARK(BM_CurlUpload)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions);
BENCHMARK(BM_ReceivePoll)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->UseManualTime();
BENCHMARK(BM_Pop3Retr)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->UseManualTime();
BENCHMARK(BM_PoplibRetr)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->UseManualTime();

// Keeps the wall time of every repetition for the medians of the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred)
                seconds[run.run_name.function_name].push_back(run.real_accumulated_time / double(run.iterations));
        ConsoleReporter::ReportRuns(runs);
    }

    double Median(const char* name)
    {
        std::vector<double>& v = seconds[name];
        if (v.empty())
            return -1;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    g_port = qEnvironmentVariableIntValue("SMTPTEST_PORT");
    g_pop3Port = qEnvironmentVariableIntValue("POP3TEST_PORT");
    g_pop3User = qEnvironmentVariable("POP3TEST_USER").toStdString();
    g_pop3Password = qEnvironmentVariable("POP3TEST_PASSWORD").toStdString();
    g_maildir = qEnvironmentVariable("POP3TEST_MAILDIR").toStdString();
    if (g_port <= 0 || g_pop3Port <= 0 || g_maildir.empty())
        Die("SMTPTEST_PORT or POP3TEST_PORT names no peer; run scripts/bench-mail.sh");

    QTemporaryDir home;
    if (!home.isValid())
        Die("no temporary folder");
    const std::string folder = home.path().toStdString();
    QDir().mkpath(home.path() + QStringLiteral("/tmp"));
    QDir().mkpath(home.path() + QStringLiteral("/config"));
    qputenv("TMPDIR", (home.path() + QStringLiteral("/tmp")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    {
        CMailSettings settings;
        settings.pop3Server = QStringLiteral("127.0.0.1");
        settings.pop3Login = QString::fromStdString(g_pop3User);
        settings.pop3Password = QString::fromStdString(g_pop3Password);
        settings.Save();
        QSettings ini(home.path() + QStringLiteral("/config/LIR/Forecast.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Transport/MAILRUNE/SMTPServer"), QStringLiteral("127.0.0.1"));
        ini.setValue(QStringLiteral("Transport/MAILRUNE/SMTPPort"), QString::number(g_port));
    }
    g_importFolder = folder + "/import";
    QDir().mkpath(QString::fromStdString(g_importFolder));
    g_dataFile = folder + "/forecast.xml";
    WriteForecastXml(g_dataFile);
    WriteDescription(folder + "/send.xml");
    g_description = QString::fromStdString(folder + "/send.xml").toStdU16String();
    ComposeMessage(folder);
    std::printf("Data file %.1f MB, message %.1f MB, sink on 127.0.0.1:%d, POP3 server on 127.0.0.1:%d\n",
                double(kDataSize) / 1048576, double(g_message.size()) / 1048576, g_port, g_pop3Port);
    std::fflush(stdout);

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double send = reporter.Median("BM_Send");
    const double deflate = reporter.Median("BM_RawDeflate");
    const double upload = reporter.Median("BM_CurlUpload");
    std::printf("\nSummary (medians of %d runs)\n", kRepetitions);
    if (send >= 0)
        std::printf("%-58s %8.3f s   goal 2.000 s   %s\n", "Send of a data envelope, 10 MB data file", send,
                    send <= 2.0 ? "met" : "MISSED");
    if (deflate >= 0)
        std::printf("%-58s %8.3f s\n", "raw deflate pass over the data file", deflate);
    if (upload >= 0)
        std::printf("%-58s %8.3f s\n", "plain libcurl upload of the finished message", upload);
    if (send >= 0 && deflate > 0 && upload > 0) {
        const double ratio = send / (deflate + upload);
        std::printf("%-58s %8.2f     goal 2.00      %s\n", "ratio Send / (deflate + upload)", ratio,
                    ratio <= 2.0 ? "met" : "MISSED");
    }
    const double poll = reporter.Median("BM_ReceivePoll");
    const double retr = reporter.Median("BM_Pop3Retr");
    const double poplib = reporter.Median("BM_PoplibRetr");
    if (poll >= 0)
        std::printf("%-58s %8.3f s   goal 2.000 s   %s\n", "one poll taking that data mail from dovecot to the host",
                    poll, poll <= 2.0 ? "met" : "MISSED");
    if (retr >= 0)
        std::printf("%-58s %8.3f s\n", "RETR of the message by the plug-in's POP3 client", retr);
    if (poplib >= 0)
        std::printf("%-58s %8.3f s\n", "RETR of the message by Python's poplib", poplib);
    if (retr >= 0 && poplib > 0) {
        const double ratio = retr / poplib;
        std::printf("%-58s %8.2f     goal 2.00      %s\n", "ratio client RETR / poplib RETR", ratio,
                    ratio <= 2.0 ? "met" : "MISSED");
    }
    return send >= 0 && deflate >= 0 && upload >= 0 && poll >= 0 && retr >= 0 && poplib >= 0 ? 0 : 1;
}
