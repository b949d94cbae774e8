// The readers of received documents against what used to cost them more than linear time: an НСИ
// whose supporting document is one base64 text node of 100 MB (read, and handed over as the transport
// host hands it, into an empty database), a forecast whose comment is 10 MB of lines ending in
// character references (refused as longer than its column), a comment document of 100 MB, and a
// document whose root carries 1,000,000 attributes, which every reader must refuse. A single text of
// 10 and of 100 MB (a product's comment in an НСИ, a row's comment in a forecast and in a comment
// document) is handed over as the transport host hands it: refused as longer than its column, in
// time that grows with its size alone and within the same peak memory at any size. The floor is
// libxml2's own streaming validation of the same bytes against the same schema through its C
// interface (`xmllint --stream --schema` takes the square of a long text's length, see below); its
// bare streaming parse, `xmllint --stream`, is shown beside it. Each read's peak memory is measured
// in a process of its own.
#include "BenchSummary.h"

#include "AppMessage.h"
#include "CommentsFile.h"
#include "ErrorSink.h"
#include "ExchangeHandOver.h"
#include "ForecastFile.h"
#include "ForecastImport.h"
#include "NsiFile.h"
#include "NsiImport.h"
#include "Session.h"
#include "Settings.h"
#include "TextUtils.h"
#include "TransportHost.h"
#include "db/DbConnection.h"
#include "xml/XmlRecord.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

QString g_dir;
std::string g_nsi, g_comment, g_comments, g_attributes;
constexpr std::size_t kDocumentMb = 100;
constexpr std::size_t kCommentMb = 10;
constexpr std::size_t kCommentsMb = 100;
constexpr int kAttributes = 1000000;
constexpr int kFloorCapSeconds = 10;
constexpr std::size_t kLongTextMb[] = {10, 100};
constexpr double kLongTextPeakMb = 200.0;

[[noreturn]] void Die(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::exit(2);
}

std::string Schema(const char* name)
{
    return (g_dir + QLatin1String(name)).toStdString();
}

std::string Version()
{
    return GetFileVersionString().toStdString();
}

// The reference data of forecast 7 from organisation 1 for 2, with one supporting document whose
// base64 text takes `mb` MB, written as the writer writes it (one line).
void WriteNsi(const std::string& path, std::size_t mb)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecast version=\"" << Version()
        << "\" id=\"7\" from=\"1\" to=\"2\" mail=\"a@x.ru\">\n<receivers>"
        << "<receiver><name>Управление</name><email>a@x.ru</email><importedId>1</importedId><isgroup>0</isgroup>"
        << "</receiver><receiver><name>Отдел</name><email>b@x.ru</email><importedId>2</importedId>"
        << "<isgroup>0</isgroup></receiver></receivers>\n<prognozs><prognoz><id>7</id><name>Прогноз</name>"
        << "<year>2026</year><owner>-20</owner><ownerName>Минфин</ownerName><status>1</status></prognoz>"
        << "</prognozs>\n<documents><document><id>1</id><prognoz>7</prognoz><name>Справка</name>"
        << "<position>0</position><filename>справка.bin</filename><content>";
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 random(7);
    std::string chunk(1 << 20, 'A');
    for (std::size_t i = 0; i < mb; ++i) {
        for (char& c : chunk)
            c = alphabet[random() % 64];
        out << chunk;
    }
    out << "</content></document></documents>\n</forecast>\n";
}

// A forecast from 5 for 1 with one row, up to its comment; the caller writes the comment and ends it.
void WriteForecastUpToComment(std::ofstream& out)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecast to=\"1\" version=\"" << Version()
        << "\" from=\"5\" mail=\"b@x.ru\" subReceiverCount=\"0\">\n<prognozdata><id>1</id><prognoz>7</prognoz>"
        << "<product>1</product>";
    for (const char* name :
         {"sumlast", "sumcurr", "sumnext", "valuelast", "valuecurr", "valuenext", "valueNorm", "valueIndex",
          "valuePlan", "valueFormula", "valueOther", "sumNorm", "sumIndex", "sumPlan", "sumFormula", "sumOther"})
        out << '<' << name << ">1.5</" << name << '>';
    out << "<base>Расчет</base><baseMethod>1</baseMethod><comment>";
}

// Lines of text, `mb` MB of them.
void WriteLines(std::ofstream& out, const std::string& line, std::size_t mb)
{
    for (std::size_t written = 0; written < mb << 20; written += line.size())
        out << line;
}

// A forecast from 5 for 1 with one row whose comment takes `mb` MB: lines that end in "&#13;", which
// the parser hands over a character at a time.
void WriteCommentedForecast(const std::string& path, std::size_t mb)
{
    std::ofstream out(path, std::ios::binary);
    WriteForecastUpToComment(out);
    WriteLines(out, "Уточнить объемы поставок по договору № 15&#13;\n", mb);
    out << "</comment></prognozdata>\n</forecast>\n";
}

// A comment document from 1 for 5 on forecast 7 of `mb` MB: one short comment on each of many products.
void WriteComments(const std::string& path, std::size_t mb)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<comment version=\"" << Version()
        << "\" from=\"1\" forecast=\"7\" to=\"5\" mail=\"a@x.ru\">\n";
    std::size_t written = 0;
    for (int product = 1; written < mb << 20; ++product) {
        const std::string row = "<prognozdata><id>" + std::to_string(product) + "</id><product>"
            + std::to_string(product) + "</product><comment>Проверьте объемы и цены по продукции "
            + std::to_string(product) + "</comment></prognozdata>\n";
        out << row;
        written += row.size();
    }
    out << "</comment>\n";
}

// The one element that carries a long text, around `mb` MB of lines of it.
void WriteLongText(std::ofstream& out, std::size_t mb)
{
    WriteLines(out, "Уточнить объемы поставок по договору № 15 и сроки отгрузки продукции\n", mb);
}

// A document of the kind ("nsi", "forecast", "comments") whose one text of `mb` MB is a comment.
void WriteLongTextDocument(const std::string& path, const std::string& kind, std::size_t mb)
{
    std::ofstream out(path, std::ios::binary);
    const char* declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    if (kind == "nsi") {
        out << declaration << "<forecast version=\"" << Version()
            << "\" id=\"7\" from=\"1\" to=\"2\" mail=\"a@x.ru\">\n"
            << "<products><product><id>1</id><prognoz>7</prognoz><parent>0</parent><measurementNatural>0"
            << "</measurementNatural><measurementPrice>0</measurementPrice><measurementNatural2>0"
            << "</measurementNatural2><measurementPrice2>0</measurementPrice2><name>Уголь</name><code>01</code>"
            << "<balanceTitle>Уголь</balanceTitle><position>0</position><comment>";
        WriteLongText(out, mb);
        out << "</comment><offsetMin>0</offsetMin><offsetMax>0</offsetMax><type>0</type><isgroup>0</isgroup>"
            << "<avRep>0</avRep><avCur>0</avCur><avProg>0</avProg><priceIdx>0</priceIdx></product></products>\n"
            << "</forecast>\n";
    } else if (kind == "forecast") {
        WriteForecastUpToComment(out);
        WriteLongText(out, mb);
        out << "</comment></prognozdata>\n</forecast>\n";
    } else {
        out << declaration << "<comment version=\"" << Version()
            << "\" from=\"1\" forecast=\"7\" to=\"5\" mail=\"a@x.ru\">\n"
            << "<prognozdata><id>1</id><product>1</product><comment>";
        WriteLongText(out, mb);
        out << "</comment></prognozdata>\n</comment>\n";
    }
}

std::string LongTextPath(const std::string& kind, std::size_t mb)
{
    return (g_dir + QStringLiteral("long-%1-%2.xml").arg(QString::fromStdString(kind)).arg(mb)).toStdString();
}

void WriteAttributes(const std::string& path, int count)
{
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecast version=\"" << Version() << "\"";
    for (int i = 0; i < count; ++i)
        out << " a" << i << "=\"" << i << '"';
    out << "/>\n";
}

// One run of a floor in a process of its own, given up after the cap: its seconds (the cap when
// stopped, negative when it failed) and its peak resident memory.
struct CLint {
    double seconds = -1, peakMb = -1;
    bool stopped = false;
};

CLint RunFloor(const std::vector<std::string>& command, int capSeconds)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<const char*> args;
        for (const std::string& arg : command)
            args.push_back(arg.c_str());
        args.push_back(nullptr);
        std::freopen("/dev/null", "w", stderr);
        ::execvp(args[0], const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    CLint lint;
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(capSeconds)) {
            ::kill(child, SIGKILL);
            ::wait4(child, &status, 0, &usage);
            lint.seconds = capSeconds;
            lint.stopped = true;
            return lint;
        }
        ::usleep(2000);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        lint.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        lint.peakMb = double(usage.ru_maxrss) / 1024.0;
    }
    return lint;
}

// `xmllint --stream` over the document, without a schema: the bare streaming parse.
CLint Xmllint(const std::string& path, int capSeconds = 600)
{
    return RunFloor({"xmllint", "--stream", "--noout", "--nonet", "--huge", path}, capSeconds);
}

// libxml2's streaming validation (its parser's events through the schema's validator, no tree),
// through its C interface alone: xmlSchemaValidateStream over the document's bytes, run by this
// program as `--validate <schema> <document>` in a process of its own. The bytes go to the parser
// whole, so a run of plain text reaches the validator in one piece: read from a file (`xmllint
// --stream --schema`, xmlTextReaderSchemaValidate, xmlSchemaValidateFile) the parser hands it over
// in pieces of 512 bytes to 4 KB, and libxml2's validator measures the text joined so far for each,
// so one long text costs the square of its length. Text that is not plain ASCII (the forecast's
// comment) reaches it in pieces on every path: stopped after the cap.
constexpr int kValidateCapSeconds = 30;

CLint LibxmlValidate(const std::string& path, const char* schema)
{
    return RunFloor({"/proc/self/exe", "--validate", Schema(schema), path}, kValidateCapSeconds);
}

int ValidateAlone(const char* schemaPath, const char* documentPath)
{
    std::ifstream in(documentPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(schemaPath);
    xmlSchemaPtr schema = parser ? xmlSchemaParse(parser) : nullptr;
    xmlSchemaValidCtxtPtr validator = schema ? xmlSchemaNewValidCtxt(schema) : nullptr;
    xmlParserInputBufferPtr input = in && !bytes.empty()
        ? xmlParserInputBufferCreateMem(bytes.data(), int(bytes.size()), XML_CHAR_ENCODING_NONE)
        : nullptr;
    // The stream takes the input over, even when it fails.
    const int invalid =
        validator && input ? xmlSchemaValidateStream(validator, input, XML_CHAR_ENCODING_NONE, nullptr, nullptr) : -1;
    xmlSchemaFreeValidCtxt(validator);
    xmlSchemaFree(schema);
    xmlSchemaFreeParserCtxt(parser);
    return invalid == 0 ? 0 : 1;
}

// Whether a floor over the document was stopped at its cap.
std::map<std::string, bool> g_floorStopped;

void BM_XmllintParse(benchmark::State& state, const std::string* path)
{
    for (auto _ : state)
        if (Xmllint(*path).seconds < 0)
            state.SkipWithError("xmllint failed or is missing");
}

void BM_LibxmlValidate(benchmark::State& state, const std::string* path, const char* schema)
{
    for (auto _ : state) {
        const CLint lint = LibxmlValidate(*path, schema);
        if (lint.seconds < 0)
            state.SkipWithError("libxml2 refused the document");
        g_floorStopped[*path] = lint.stopped;
    }
}

bool ReadNsi()
{
    const CNsiFile nsi = ReadNsiFile(QString::fromStdString(g_nsi), QString::fromStdString(Schema("lir.xsd")));
    return nsi.ok() && nsi.documents.size() == 1 && nsi.documents[0].receivedContent
        && std::size_t(nsi.documents[0].receivedContent->size()) == (kDocumentMb << 20) / 4 * 3;
}

bool ReadComments()
{
    const CCommentsFile file =
        ReadCommentsFile(QString::fromStdString(g_comments), QString::fromStdString(Schema("comment.xsd")));
    return file.ok() && file.rows.size() > 100000;
}

bool RefusedAsTooLong(const QString& message)
{
    return message.contains(QStringLiteral("«comment» в строке 3 длиннее 255 знаков"));
}

// Refused: the comment is longer than its column takes.
bool ReadCommentedForecast()
{
    const CForecastFile file =
        ReadForecastFile(QString::fromStdString(g_comment), QString::fromStdString(Schema("forecast.xsd")));
    return !file.ok() && RefusedAsTooLong(file.message);
}

void BM_ReadNsi(benchmark::State& state)
{
    for (auto _ : state)
        if (!ReadNsi())
            state.SkipWithError("the reference data were refused");
}

void BM_ReadCommentedForecast(benchmark::State& state)
{
    for (auto _ : state)
        if (!ReadCommentedForecast())
            state.SkipWithError("the forecast was refused");
}

void BM_ReadComments(benchmark::State& state)
{
    for (auto _ : state)
        if (!ReadComments())
            state.SkipWithError("the comments were refused");
}

// Every reader that takes documents from outside; each must refuse the attributes.
const struct {
    const char* name;
    bool (*read)(const QString& path);
} kReaders[] = {
    {"forecast", [](const QString& p) { return ReadForecastFile(p, g_dir + QStringLiteral("forecast.xsd")).ok(); }},
    {"nsi", [](const QString& p) { return ReadNsiFile(p, g_dir + QStringLiteral("lir.xsd")).ok(); }},
    {"comments", [](const QString& p) { return ReadCommentsFile(p, g_dir + QStringLiteral("comment.xsd")).ok(); }},
    {"version", [](const QString& p) { return CheckXmlFileVersion(p); }},
    {"tree", [](const QString& p) { return bool(XmlParseFile(p)); }},
    {"plug-in check", [](const QString& p) { return XmlIsWellFormedFile(QFile::encodeName(p).constData()); }},
};

void BM_RefuseAttributes(benchmark::State& state)
{
    const auto& reader = kReaders[state.range(0)];
    state.SetLabel(reader.name);
    for (auto _ : state)
        if (reader.read(QString::fromStdString(g_attributes)))
            state.SkipWithError("the attributes were read");
}

CSessionState g_session;
QString g_stopped; // the last stop message

int AnswerYes(const QString& text, unsigned flags, QObject*)
{
    if ((flags & MB_ICONSTOP) == MB_ICONSTOP) {
        g_stopped = text;
        if (!RefusedAsTooLong(text))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    return IDYES;
}

void OpenFreshDatabase()
{
    if (!ConnectFreshDatabase(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), g_dir))
        Die("cannot open a copy of the template database");
}

// The reference data handed over as the transport host hands them, every question answered yes,
// into a fresh copy of the template database; its document lands in the program's "docs/".
bool HandOverNsi()
{
    OpenFreshDatabase();
    const bool taken = ImportNsiFile(g_session, nullptr, QString::fromStdString(g_nsi)) == ImportOutcome::Taken;
    GetDBConnection().Close();
    return taken && QFileInfo(g_dir + QStringLiteral("docs")).isDir();
}

// The long text of the kind and size handed over as the transport host hands it: refused.
bool HandOverLongText(const std::string& kind, std::size_t mb)
{
    OpenFreshDatabase();
    InstallTransportHost(g_session, &ImportForecastFile);
    g_stopped.clear();
    const QString path = QString::fromStdString(LongTextPath(kind, mb));
    if (kind == "nsi")
        ImportNsiFile(g_session, nullptr, path);
    else
        ImportReceivedDataFile(g_session, nullptr, path);
    GetDBConnection().Close();
    return RefusedAsTooLong(g_stopped);
}

void BM_HandOverLongText(benchmark::State& state, const char* kind, std::size_t mb)
{
    for (auto _ : state)
        if (!HandOverLongText(kind, mb))
            state.SkipWithError("the long text was not refused by its length");
}

void BM_HandOverNsi(benchmark::State& state)
{
    for (auto _ : state)
        if (!HandOverNsi())
            state.SkipWithError("the hand-over failed");
}

// One read alone in this process, for its peak resident memory (printed in MB).
int PeakAlone(const std::string& kind)
{
    bool ok = false;
    if (kind == "nsi")
        ok = ReadNsi();
    else if (kind == "forecast")
        ok = ReadCommentedForecast();
    else if (kind == "comments")
        ok = ReadComments();
    else if (kind == "hand-over")
        ok = HandOverNsi();
    else if (kind == "attributes")
        ok = !kReaders[0].read(QString::fromStdString(g_attributes));
    else if (kind.starts_with("long-"))
        ok = HandOverLongText(kind.substr(5), kLongTextMb[std::size(kLongTextMb) - 1]);
    if (!ok)
        return 1;
    std::printf("%.1f\n", PeakResidentMb());
    return 0;
}

double PeakInChild(const char* kind)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), QLatin1String(kind), g_dir});
    const bool done = child.waitForFinished(600000) && child.exitCode() == 0;
    return done ? QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble() : -1.0;
}

void UseFolder(const QString& dir)
{
    g_dir = dir;
    g_nsi = (dir + QStringLiteral("nsi.xml")).toStdString();
    g_comment = (dir + QStringLiteral("comment.xml")).toStdString();
    g_comments = (dir + QStringLiteral("comments.xml")).toStdString();
    g_attributes = (dir + QStringLiteral("attributes.xml")).toStdString();
    // The schemas, the database and the documents folder are the program folder's.
    qputenv("LIR_HOME", dir.toUtf8());
    Settings().EnableOpJournal = false;
    SetMessageBoxHandler(&AnswerYes, true);
    SetErrorSink([](const DbError& error) { WriteErrorToStderr(error); });
}

} // namespace

BENCHMARK_CAPTURE(BM_XmllintParse, nsi, &g_nsi)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_LibxmlValidate, nsi, &g_nsi, "lir.xsd")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadNsi)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HandOverNsi)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_XmllintParse, comment, &g_comment)->Unit(benchmark::kMillisecond)->Iterations(3);
// Stopped at its cap: once is enough.
BENCHMARK_CAPTURE(BM_LibxmlValidate, comment, &g_comment, "forecast.xsd")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadCommentedForecast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_XmllintParse, comments, &g_comments)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_LibxmlValidate, comments, &g_comments, "comment.xsd")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_ReadComments)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_HandOverLongText, nsi_10, "nsi", kLongTextMb[0])->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_HandOverLongText, nsi_100, "nsi", kLongTextMb[1])->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_HandOverLongText, forecast_10, "forecast", kLongTextMb[0])
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_HandOverLongText, forecast_100, "forecast", kLongTextMb[1])
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_HandOverLongText, comments_10, "comments", kLongTextMb[0])
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_HandOverLongText, comments_100, "comments", kLongTextMb[1])
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_RefuseAttributes)
    ->DenseRange(0, int(std::size(kReaders)) - 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--validate") == 0)
        return ValidateAlone(argv[2], argv[3]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) {
        UseFolder(QString::fromLocal8Bit(argv[3]));
        return PeakAlone(argv[2]);
    }
    benchmark::Initialize(&argc, argv);
    const QString dir = QDir::tempPath() + QStringLiteral("/bench_readers-%1/").arg(::getpid());
    QDir().mkpath(dir);
    for (const char* schema : {"lir.xsd", "forecast.xsd", "comment.xsd"})
        if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(schema), dir + QLatin1String(schema)))
            Die("cannot copy the schemas");
    UseFolder(dir);
    std::printf("writing the documents...\n");
    std::fflush(stdout);
    WriteNsi(g_nsi, kDocumentMb);
    WriteCommentedForecast(g_comment, kCommentMb);
    WriteComments(g_comments, kCommentsMb);
    WriteAttributes(g_attributes, kAttributes);
    for (const char* kind : {"nsi", "forecast", "comments"})
        for (const std::size_t mb : kLongTextMb)
            WriteLongTextDocument(LongTextPath(kind, mb), kind, mb);

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto seconds = [&](const std::string& name) {
        const double three = reporter.Seconds(name + "/iterations:3");
        return three >= 0 ? three : reporter.Seconds(name + "/iterations:1");
    };
    std::printf("\nSummary (%zu MB supporting document, %zu MB comment, %zu MB of comments, %d attributes)\n",
                kDocumentMb, kCommentMb, kCommentsMb, kAttributes);
    const struct {
        const char* what;
        std::string run, floor, bare;
        const std::string* path;
        double peakGoal;
        const char* peakKind;
    } reads[] = {
        {"НСИ read", "BM_ReadNsi", "BM_LibxmlValidate/nsi", "BM_XmllintParse/nsi", &g_nsi, 200.0, "nsi"},
        {"НСИ handed over and stored", "BM_HandOverNsi", "BM_LibxmlValidate/nsi", "BM_XmllintParse/nsi", &g_nsi, 200.0,
         "hand-over"},
        {"forecast read", "BM_ReadCommentedForecast", "BM_LibxmlValidate/comment", "BM_XmllintParse/comment",
         &g_comment, 150.0, "forecast"},
        {"comments read", "BM_ReadComments", "BM_LibxmlValidate/comments", "BM_XmllintParse/comments", &g_comments,
         200.0, "comments"},
    };
    for (const auto& r : reads) {
        const double run = seconds(r.run), floor = seconds(r.floor), bare = seconds(r.bare);
        if (run < 0)
            continue;
        const std::string what = r.what;
        PrintFigure((what + ": time").c_str(), run, "s");
        const bool stopped = g_floorStopped[*r.path];
        const std::string floorLine = what + ": floor, libxml2 xmlSchemaValidateStream";
        if (stopped)
            std::printf("%-58s more than %d s (stopped)\n", floorLine.c_str(), kValidateCapSeconds);
        else
            PrintFigure(floorLine.c_str(), floor, "s");
        PrintFigure((what + ": xmllint --stream, no schema").c_str(), bare, "s");
        // A floor stopped at its cap took longer: the ratio to the cap is the most the ratio can be.
        if (floor > 0)
            PrintRatio((what + (stopped ? ": ratio to the floor, at most" : ": ratio to the floor")).c_str(),
                       run / floor, 2.0);
        if (bare > 0)
            PrintRatio((what + ": ratio to the bare parse").c_str(), run / bare);
        PrintGoal((what + ": peak resident memory").c_str(), PeakInChild(r.peakKind), "MB", r.peakGoal);
    }
    PrintFigure("peak resident memory of the floor (НСИ)", LibxmlValidate(g_nsi, "lir.xsd").peakMb, "MB");
    // Why the floor is not `xmllint --stream --schema`: on the НСИ's one long text it does not end.
    const CLint lint =
        RunFloor({"xmllint", "--stream", "--noout", "--nonet", "--huge", "--schema", Schema("lir.xsd"), g_nsi},
                 kValidateCapSeconds);
    if (lint.stopped)
        std::printf("%-58s more than %d s (stopped)\n", "НСИ: xmllint --stream with the schema", kValidateCapSeconds);
    else
        PrintFigure("НСИ: xmllint --stream with the schema", lint.seconds, "s");
    for (std::size_t i = 0; i < std::size(kReaders); ++i) {
        const std::string what = std::string("attributes refused by the reader: ") + kReaders[i].name;
        PrintGoal(what.c_str(), reporter.Ms("BM_RefuseAttributes/" + std::to_string(i) + "/iterations:3"), "ms",
                  1000.0);
    }
    PrintGoal("attributes refused: peak resident memory", PeakInChild("attributes"), "MB", 150.0);
    for (const char* kind : {"nsi", "forecast", "comments"}) {
        const std::string what = std::string("long comment refused, handed over (") + kind + "): ";
        const std::string name = std::string("BM_HandOverLongText/") + kind + "_";
        const double small = seconds(name + "10"), large = seconds(name + "100");
        PrintFigure((what + "time at 10 MB").c_str(), small, "s");
        PrintFigure((what + "time at 100 MB").c_str(), large, "s");
        // Linear time: ten times the text, at most about ten times the time.
        if (small > 0 && large > 0)
            PrintRatio((what + "time at 100 MB to 10 MB").c_str(), large / small, 12.0);
        PrintGoal((what + "peak resident memory at 100 MB").c_str(), PeakInChild(("long-" + std::string(kind)).c_str()),
                  "MB", kLongTextPeakMb);
    }
    const double floor = Xmllint(g_attributes, kFloorCapSeconds).seconds;
    if (floor >= kFloorCapSeconds)
        std::printf("%-58s more than %d s (stopped)\n", "attributes: floor, xmllint --stream", kFloorCapSeconds);
    else if (floor < 0)
        std::printf("%-58s refused\n", "attributes: floor, xmllint --stream");
    else
        PrintFigure("attributes: floor, xmllint --stream", floor, "s");
    QDir(dir).removeRecursively();
    return 0;
}
