// A mail carrying reference data (НСИ) whose one product comment is a long text, zipped and composed
// as Send does, fetched from dovecot on loopback in one poll of the receive loop (RETR, base64
// decoding, unzipping) and handed over as the transport host hands it: read by the НСИ import and
// refused as longer than its column. The comment is lines of text (a small mail, a large file) or
// random letters (the mail as large as the file); each poll runs in a process of its own, for its
// peak resident memory, at 10 and at 100 MB.
// scripts/bench-mail-nsi.sh starts the server: its port comes from POP3TEST_PORT, the mailbox
// POP3TEST_USER / POP3TEST_PASSWORD whose Maildir is POP3TEST_MAILDIR.
#include "BenchSummary.h"
#include "ExchangeHandOver.h"
#include "MailFiles.h"
#include "MailReceive.h"
#include "MailSender.h"
#include "MailSettings.h"
#include "MailTexts.h"
#include "MailTransport.h"
#include "Maildir.h"
#include "Pop3Session.h"
#include "Session.h"
#include "Settings.h"
#include "TransportTestHost.h"
#include "db/DbConnection.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace {

constexpr std::size_t kSizesMb[] = {10, 100};
constexpr double kPeakGoalMb = 200.0;
constexpr int kPollMinutes = 10;

int g_pop3Port = 0;
std::string g_maildir;
QString g_home; // the program folder: schemas, database, import folder

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "bench_mail_nsi: %s\n", what.c_str());
    std::exit(2);
}

std::string ImportFolder()
{
    return (g_home + QStringLiteral("import")).toStdString();
}

// The reference data of forecast 7 from organisation 1 for 2 with one product whose comment takes
// `mb` MB: lines of text with their own numbers (deflate takes them to about a tenth, within what the
// plug-in unpacks), or random letters and spaces that it does not shrink below 3/4.
void WriteNsi(const std::string& path, bool letters, std::size_t mb)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecast version=\"" << LIR_PROGRAM_VERSION
        << "\" id=\"7\" from=\"1\" to=\"2\" mail=\"a@x.ru\">\n"
        << "<products><product><id>1</id><prognoz>7</prognoz><parent>0</parent><measurementNatural>0"
        << "</measurementNatural><measurementPrice>0</measurementPrice><measurementNatural2>0"
        << "</measurementNatural2><measurementPrice2>0</measurementPrice2><name>Уголь</name><code>01</code>"
        << "<balanceTitle>Уголь</balanceTitle><position>0</position><comment>";
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ,";
    std::mt19937 random(7);
    std::string chunk(1 << 20, ' ');
    for (std::size_t i = 0; i < mb; ++i) {
        if (letters) {
            for (char& c : chunk)
                c = alphabet[random() % 64];
        } else {
            chunk.clear();
            while (chunk.size() < (1u << 20))
                chunk += "Уточнить объемы поставок по договору № " + std::to_string(random() % 100000) + " на "
                    + std::to_string(random() % 1000000) + " руб. и сроки отгрузки до "
                    + std::to_string(random() % 28 + 1) + " числа\n";
        }
        out << chunk;
    }
    out << "</comment><offsetMin>0</offsetMin><offsetMax>0</offsetMax><type>0</type><isgroup>0</isgroup>"
        << "<avRep>0</avRep><avCur>0</avCur><avProg>0</avProg><priceIdx>0</priceIdx></product></products>\n"
        << "</forecast>\n";
    if (!out)
        Die("cannot write " + path);
}

// The mail as Send builds it for that document, written to `messagePath`; its size in MB.
double ComposeMail(bool letters, std::size_t mb, const std::string& messagePath)
{
    const std::string folder = (g_home + QStringLiteral("out")).toStdString();
    QDir().mkpath(QString::fromStdString(folder));
    const std::string xml = folder + "/nsi.xml", zip = folder + "/nsi.zip";
    WriteNsi(xml, letters, mb);
    if (!ZipDataFile(xml, zip))
        Die("cannot zip the document");
    ::unlink(xml.c_str());
    CCdoMailSender sender;
    sender.AddFrom("org1@example.ru", "Орг-1");
    sender.AddTo("org2@example.ru", "Орг-2");
    sender.SetSubject(std::string(MailSendTexts::DataSubject) + MailReceiveTexts::NsiWord);
    sender.SetBody("[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <org2@example.ru> \n"
                   "[Data:] [АИС ЛИР]: \"НСИ\" \n ");
    sender.AddAttachment(zip, "НСИ.zip");
    const std::string message = sender.Compose(NewMailStamp("org1@example.ru"));
    ::unlink(zip.c_str());
    std::ofstream(messagePath, std::ios::binary) << message;
    return double(message.size()) / 1048576.0;
}

CSessionState g_session;

void OpenFreshDatabase()
{
    if (!ConnectFreshDatabase(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), g_home))
        Die("cannot open a copy of the template database");
}

// One poll in this process: the mail fetched, unpacked and handed over, the НСИ import reading the
// file while the loop waits for its answer, as the host's user-interface thread does. Prints the
// seconds from the poll's start to its end and the peak resident memory in MB.
int PollAlone()
{
    qputenv("LIR_HOME", g_home.toUtf8());
    Settings().EnableOpJournal = false;
    AnswerEveryQuestionYes();
    OpenFreshDatabase();
    CMailTransport transport;
    CTransportTestHost host(ImportFolder());
    host.RecordFiles(false);
    host.Hold(true);
    const auto start = std::chrono::steady_clock::now();
    host.Start([&transport, &host](CTransportChannel* channel) {
        return RunReceiveLoop(transport, channel,
                              CReceiveOptions{g_pop3Port, 3600, CPop3Session::kReplyTimeoutMs, host.StopEvent()});
    });
    // A mail the plug-in refuses ends the poll without a hand-over.
    const auto ended = [&host] {
        const std::vector<std::string> log = host.LogTexts();
        return std::find(log.begin(), log.end(), MailReceiveTexts::PollDone) != log.end();
    };
    while (!host.WaitForHeld(std::chrono::milliseconds(100)))
        if (ended() || std::chrono::steady_clock::now() - start > std::chrono::minutes(kPollMinutes)) {
            for (const std::string& line : host.LogTexts())
                std::fprintf(stderr, "%s\n", line.c_str());
            return 1;
        }
    const CTransportTestHost::Item item = host.Items().back();
    const std::string path = item.filePath.value_or("");
    const QStringList refusals = HandOver(g_session, true, QString::fromStdString(path));
    host.Release();
    const bool polled = host.WaitForLog(MailReceiveTexts::PollDone, 1, std::chrono::minutes(kPollMinutes));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host.Stop();
    ::unlink(path.c_str());
    GetDBConnection().Close();
    const bool refused = refusals.size() == 1 && refusals[0].contains(QStringLiteral("длиннее 255 знаков"));
    if (!polled || !refused || item.code != TC_NSI)
        return 1;
    std::printf("%.3f %.1f\n", seconds, PeakResidentMb());
    return 0;
}

struct CPoll {
    double seconds = -1, peakMb = -1;
};

CPoll PollInChild()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--poll")});
    if (!child.waitForFinished(kPollMinutes * 60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
        return {};
    }
    const QStringList figures = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
    return figures.size() == 2 ? CPoll{figures[0].toDouble(), figures[1].trimmed().toDouble()} : CPoll{};
}

// The highest peak and the mail's size of each kind and size ("letters_100").
std::map<std::string, double> g_peakMb;
std::map<std::string, double> g_mailMb;

std::string Key(bool letters, std::size_t mb)
{
    return (letters ? "letters_" : "lines_") + std::to_string(mb);
}

void BM_PollNsi(benchmark::State& state, bool letters, std::size_t mb)
{
    const std::string messagePath = (g_home + QStringLiteral("message.eml")).toStdString();
    g_mailMb[Key(letters, mb)] = ComposeMail(letters, mb, messagePath);
    std::ifstream in(messagePath, std::ios::binary);
    const std::string message((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    double& peak = g_peakMb[Key(letters, mb)];
    for (auto _ : state) {
        if (MaildirCount(g_maildir) == 0 && !DeliverToMaildir(g_maildir, message))
            Die("cannot deliver into " + g_maildir);
        const CPoll poll = PollInChild();
        state.SetIterationTime(std::max(poll.seconds, 0.0));
        if (poll.seconds < 0) {
            state.SkipWithError("the poll did not hand the НСИ over, or it was not refused by its length");
            break;
        }
        peak = std::max(peak, poll.peakMb);
    }
    ::unlink(messagePath.c_str());
}

BENCHMARK_CAPTURE(BM_PollNsi, lines_10, false, kSizesMb[0])
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_PollNsi, lines_100, false, kSizesMb[1])
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_PollNsi, letters_10, true, kSizesMb[0])
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_PollNsi, letters_100, true, kSizesMb[1])
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    g_pop3Port = qEnvironmentVariableIntValue("POP3TEST_PORT");
    g_maildir = qEnvironmentVariable("POP3TEST_MAILDIR").toStdString();
    g_home = qEnvironmentVariable("LIR_BENCH_HOME");
    if (argc == 2 && std::strcmp(argv[1], "--poll") == 0)
        return PollAlone();
    benchmark::Initialize(&argc, argv);
    if (g_pop3Port <= 0 || g_maildir.empty())
        Die("POP3TEST_PORT names no server; run scripts/bench-mail-nsi.sh");

    // The children find the program folder and the mail settings through the environment.
    g_home = QDir::tempPath() + QStringLiteral("/bench_mail_nsi-%1/").arg(::getpid());
    qputenv("LIR_BENCH_HOME", g_home.toUtf8());
    QDir().mkpath(g_home + QStringLiteral("tmp"));
    QDir().mkpath(g_home + QStringLiteral("config"));
    QDir().mkpath(QString::fromStdString(ImportFolder()));
    qputenv("XDG_CONFIG_HOME", (g_home + QStringLiteral("config")).toUtf8());
    for (const char* schema : {"lir.xsd", "forecast.xsd", "comment.xsd"})
        if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(schema), g_home + QLatin1String(schema)))
            Die("cannot copy the schemas");
    {
        CMailSettings settings;
        settings.pop3Server = QStringLiteral("127.0.0.1");
        settings.pop3Login = qEnvironmentVariable("POP3TEST_USER");
        settings.pop3Password = qEnvironmentVariable("POP3TEST_PASSWORD");
        settings.Save();
    }
    qputenv("TMPDIR", (g_home + QStringLiteral("tmp")).toUtf8());

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nSummary (one poll from dovecot, the НСИ read by its import and refused by its length)\n");
    bool ran = true;
    for (const bool letters : {false, true}) {
        const std::string what = std::string("100 MB comment of ") + (letters ? "random letters" : "lines");
        const auto seconds = [&](std::size_t mb) {
            return reporter.Seconds("BM_PollNsi/" + Key(letters, mb) + "/iterations:3/manual_time");
        };
        const double small = seconds(kSizesMb[0]), large = seconds(kSizesMb[1]);
        ran = ran && small >= 0 && large >= 0;
        PrintFigure((what + ": mail size").c_str(), g_mailMb[Key(letters, kSizesMb[1])], "MB");
        PrintFigure((what + ": poll at 10 MB").c_str(), small, "s");
        PrintFigure((what + ": poll at 100 MB").c_str(), large, "s");
        // Linear time: ten times the text, at most about ten times the time.
        if (small > 0 && large > 0)
            PrintRatio((what + ": time at 100 MB to 10 MB").c_str(), large / small, 12.0);
        const auto peak = g_peakMb.find(Key(letters, kSizesMb[1]));
        PrintGoal((what + ": peak resident memory").c_str(), peak == g_peakMb.end() ? -1 : peak->second, "MB",
                  kPeakGoalMb);
    }
    QDir(g_home).removeRecursively();
    return ran ? 0 : 1;
}
