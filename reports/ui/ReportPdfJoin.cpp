#include "ReportPdfJoin.h"

#include <QFile>
#include <QFileInfo>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QPDFWriter.hh>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace ReportPdfTexts;

namespace {

// A subset font's tag (six capitals before "+") that no other part's fonts have: every writer tags
// its subsets alike, and readers that find fonts by name would mistake the parts' subsets for one.
std::string Tag(int number)
{
    std::string tag(6, 'A');
    for (int i = 5; i >= 0 && number > 0; --i, number /= 26)
        tag[size_t(i)] = char('A' + number % 26);
    return tag;
}

bool Tagged(const std::string& name)
{
    // "/ABCDEF+Name"
    if (name.size() < 9 || name[0] != '/' || name[7] != '+')
        return false;
    for (size_t i = 1; i <= 6; ++i)
        if (name[i] < 'A' || name[i] > 'Z')
            return false;
    return true;
}

// What qpdf writes goes into the save file; now and then the caller is asked whether to go on.
class CSavePipeline : public Pipeline {
public:
    struct Stopped { };

    CSavePipeline(QSaveFile& file, const std::function<bool()>& going)
        : Pipeline("report PDF", nullptr)
        , m_file(file)
        , m_going(going)
    {
    }
    void write(unsigned char const* data, size_t length) override
    {
        if (m_file.write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length))
            throw std::runtime_error("write");
        m_since += length;
        if (m_since >= kAskEvery) {
            m_since = 0;
            if (m_going && !m_going())
                throw Stopped{};
        }
    }
    void finish() override { }

private:
    static constexpr size_t kAskEvery = 4 << 20;
    QSaveFile& m_file;
    const std::function<bool()>& m_going;
    size_t m_since = kAskEvery; // asked before the first bytes too
};

} // namespace

// The joined document, and the parts its pages were copied from: qpdf reads a copied page's streams
// from its part only when the joined file is written.
struct CPdfJoin::Parts {
    std::vector<std::unique_ptr<QPDF>> read; // outlive the document copied from them
    QPDF out;
    std::string version;
    int subsets = 0;

    Parts() { out.emptyPDF(); }

    // Names the part's font subsets apart from the other parts' (the same name within the part gets
    // the same new one).
    void NameSubsets(QPDF& part)
    {
        std::map<std::string, std::string> renamed;
        for (QPDFObjectHandle object : part.getAllObjects()) {
            if (!object.isDictionary())
                continue;
            for (const char* key : {"/FontName", "/BaseFont"}) {
                QPDFObjectHandle name = object.getKey(key);
                if (!name.isName() || !Tagged(name.getName()))
                    continue;
                const std::string old = name.getName();
                auto it = renamed.find(old);
                if (it == renamed.end())
                    it = renamed.emplace(old, "/" + Tag(++subsets) + old.substr(7)).first;
                object.replaceKey(key, QPDFObjectHandle::newName(it->second));
            }
        }
    }

    // The first part's document information and catalog entries (but its pages) become the file's.
    void TakeDocument(QPDF& part)
    {
        version = part.getPDFVersion();
        QPDFObjectHandle info = part.getTrailer().getKey("/Info");
        if (info.isDictionary())
            out.getTrailer().replaceKey("/Info", out.copyForeignObject(info));
        QPDFObjectHandle catalog = part.getRoot();
        QPDFObjectHandle root = out.getRoot();
        for (const std::string& key : catalog.getKeys())
            if (key != "/Pages" && key != "/Type")
                root.replaceKey(key, out.copyForeignObject(catalog.getKey(key)));
    }
};

CPdfJoin::CPdfJoin(const QString& path)
    : m_file(path)
    , m_parts(std::make_unique<Parts>())
{
}

CPdfJoin::~CPdfJoin()
{
    if (m_file.isOpen())
        m_file.cancelWriting();
}

bool CPdfJoin::Open(QString* error)
{
    if (m_file.open(QIODevice::WriteOnly))
        return true;
    if (error)
        *error = m_file.errorString();
    return false;
}

bool CPdfJoin::Add(const QString& path, int pages, QString* error)
{
    // A part that failed may have left some of its pages joined: nothing is joined after it.
    if (m_broken) {
        if (error)
            *error = kPartShape.arg(QFileInfo(path).fileName());
        return false;
    }
    m_broken = !AddPart(path, pages, error);
    return !m_broken;
}

bool CPdfJoin::AddPart(const QString& path, int pages, QString* error)
{
    const QString name = QFileInfo(path).fileName();
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text.arg(name);
        return false;
    };
    if (!QFileInfo(path).isReadable())
        return fail(kPartUnreadable);
    auto part = std::make_unique<QPDF>();
    // A part this program wrote reads without a repair; one that needs it is not what was painted.
    part->setSuppressWarnings(true);
    part->setAttemptRecovery(false);
    try {
        part->processFile(QFile::encodeName(path).constData());
        QPDFPageDocumentHelper from(*part);
        from.pushInheritedAttributesToPage();
        std::vector<QPDFPageObjectHelper> all = from.getAllPages();
        if (all.size() != size_t(pages) || part->anyWarnings())
            return fail(kPartShape);
        m_parts->NameSubsets(*part);
        if (m_parts->read.empty())
            m_parts->TakeDocument(*part);
        QPDFPageDocumentHelper to(m_parts->out);
        for (QPDFPageObjectHelper& page : all)
            to.addPage(page, false);
        if (part->anyWarnings())
            return fail(kPartShape);
    } catch (const QPDFSystemError&) {
        return fail(kPartUnreadable);
    } catch (const std::exception&) {
        return fail(kPartShape);
    }
    m_parts->read.push_back(std::move(part));
    return true;
}

bool CPdfJoin::Commit(QString* error, const std::function<bool()>& going)
{
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_broken || m_parts->read.empty())
        return fail(kPartShape.arg(QString()));
    CSavePipeline pipeline(m_file, going);
    try {
        QPDFWriter writer(m_parts->out);
        writer.setOutputPipeline(&pipeline);
        // The parts' streams as they were written, in a plain cross-reference table.
        writer.setCompressStreams(false);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setObjectStreamMode(qpdf_o_disable);
        writer.setMinimumPDFVersion(m_parts->version);
        writer.write();
    } catch (const CSavePipeline::Stopped&) {
        m_file.cancelWriting();
        return false;
    } catch (const std::exception&) {
        const QString why = m_file.error() != QFileDevice::NoError ? m_file.errorString() : kPartShape.arg(QString());
        m_file.cancelWriting();
        return fail(why);
    }
    if (m_file.commit())
        return true;
    return fail(m_file.errorString());
}
