#include "ReportPdfJoin.h"

#include <QFile>
#include <QFileInfo>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFSystemError.hh>

#include <deque>
#include <map>
#include <string>

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

QByteArray Bytes(const std::string& text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

constexpr qint64 kWidestOffset = 9999999999; // ten digits in the cross-reference table
constexpr qsizetype kFlushFrom = 1 << 20;
// How many objects of a part are written between two questions whether to go on.
constexpr size_t kAskEvery = 64;

} // namespace

// One part written out: each object it reaches from its pages gets the next free number when first
// met and is written once.
class CPdfJoin::Part {
public:
    Part(CPdfJoin& join, std::map<std::string, std::string>& subsets)
        : m_join(join)
        , m_subsets(subsets)
    {
    }

    // The object's number in the file, the object queued to be written when first met.
    int Number(QPDFObjectHandle object)
    {
        const auto [it, met] = m_numbers.emplace(object.getObjGen(), 0);
        if (met) {
            it->second = int(m_join.m_offsets.size());
            m_join.m_offsets.push_back(-1);
            m_queue.push_back(object);
        }
        return it->second;
    }

    // Writes every object queued, and those they reach, asking `going` every so many objects; false
    // when it stopped the join.
    bool Drain(const std::function<bool()>& going)
    {
        for (size_t written = 0; !m_queue.empty(); ++written) {
            if (going && written % kAskEvery == 0 && !going())
                return false;
            QPDFObjectHandle object = m_queue.front();
            m_queue.pop_front();
            Object(m_numbers.at(object.getObjGen()), object);
        }
        return true;
    }

    // An object of the file under its number: a page in the joined page tree, a stream with its data
    // as the part holds it.
    void Object(int number, QPDFObjectHandle object, const QByteArray& with = QByteArray())
    {
        m_join.m_offsets[size_t(number)] = m_join.m_written;
        m_join.Write(QByteArray::number(number) + " 0 obj\n");
        if (object.isStream()) {
            const std::shared_ptr<Buffer> data = object.getRawStreamData();
            const QByteArray length = "/Length " + QByteArray::number(qulonglong(data->getSize()));
            m_join.Write(Value(object.getDict(), "/Length", length) + "\nstream\n");
            m_join.Write(QByteArray(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize())));
            m_join.Write("\nendstream\nendobj\n");
            return;
        }
        if (object.isPageObject())
            m_join.Write(Value(object, "/Parent", "/Parent 3 0 R", true));
        else
            m_join.Write(Value(object, nullptr, with, true));
        m_join.Write("\nendobj\n");
    }

    // A value as it stands in the file (an object's own, or a reference to it unless `own`):
    // references renumbered, `skip` left out of a dictionary and `with` added to it, subset tags made
    // the file's own.
    QByteArray Value(QPDFObjectHandle object, const char* skip = nullptr, const QByteArray& with = QByteArray(),
                     bool own = false)
    {
        if (object.isIndirect() && !own)
            return object.isNull() ? QByteArray("null") : QByteArray::number(Number(object)) + " 0 R";
        if (object.isArray()) {
            QByteArray out = "[";
            for (QPDFObjectHandle item : object.getArrayAsVector())
                out += Value(item) + ' ';
            return out + ']';
        }
        if (object.isDictionary()) {
            QByteArray out = "<<";
            for (const std::string& key : object.getKeys()) {
                if (skip && key == skip)
                    continue;
                QPDFObjectHandle value = object.getKey(key);
                out += Bytes(QPDFObjectHandle::newName(key).unparse()) + ' ';
                if ((key == "/FontName" || key == "/BaseFont") && value.isName() && Tagged(value.getName()))
                    out += Subset(value.getName());
                else
                    out += Value(value);
                out += ' ';
            }
            return out + with + ">>";
        }
        return Bytes(object.unparse());
    }

private:
    QByteArray Subset(const std::string& name)
    {
        auto it = m_subsets.find(name);
        if (it == m_subsets.end()) {
            std::string renamed(1, '/');
            renamed += Tag(++m_join.m_subsets);
            renamed += std::string_view(name).substr(7);
            it = m_subsets.emplace(name, std::move(renamed)).first;
        }
        return Bytes(QPDFObjectHandle::newName(it->second).unparse());
    }

    CPdfJoin& m_join;
    std::map<std::string, std::string>& m_subsets;
    std::map<QPDFObjGen, int> m_numbers;
    std::deque<QPDFObjectHandle> m_queue;
};

CPdfJoin::CPdfJoin(const QString& path)
    : m_file(path)
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

void CPdfJoin::Write(const QByteArray& bytes)
{
    m_buffer += bytes;
    m_written += bytes.size();
    if (m_buffer.size() >= kFlushFrom)
        Flush();
}

bool CPdfJoin::Flush()
{
    const bool written = m_file.write(m_buffer) == m_buffer.size();
    m_buffer.clear();
    return written;
}

bool CPdfJoin::Add(const QString& path, int pages, QString* error, const std::function<bool()>& going)
{
    // A part that failed may have left some of its objects written: nothing is joined after it.
    if (m_broken) {
        if (error)
            *error = kPartShape.arg(QFileInfo(path).fileName());
        return false;
    }
    m_broken = !AddPart(path, pages, error, going);
    return !m_broken;
}

bool CPdfJoin::AddPart(const QString& path, int pages, QString* error, const std::function<bool()>& going)
{
    const QString name = QFileInfo(path).fileName();
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text.arg(name);
        return false;
    };
    if (!QFileInfo(path).isReadable())
        return fail(kPartUnreadable);
    QPDF part;
    // A part this program wrote reads without a repair; one that needs it is not what was painted.
    part.setSuppressWarnings(true);
    part.setAttemptRecovery(false);
    try {
        part.processFile(QFile::encodeName(path).constData());
        QPDFPageDocumentHelper helper(part);
        helper.pushInheritedAttributesToPage();
        const std::vector<QPDFPageObjectHelper> all = helper.getAllPages();
        if (all.size() != size_t(pages) || part.anyWarnings())
            return fail(kPartShape);
        // Each part's subsets are its own.
        std::map<std::string, std::string> subsets;
        Part out(*this, subsets);
        if (m_parts == 0) {
            m_version = part.getPDFVersion();
            Write("%PDF-" + Bytes(m_version) + "\n%\xE2\xE3\xCF\xD3\n");
            QPDFObjectHandle info = part.getTrailer().getKey("/Info");
            out.Object(1, info.isDictionary() ? info : QPDFObjectHandle::newDictionary());
            QPDFObjectHandle catalog = part.getRoot();
            out.Object(2, QPDFObjectHandle::newDictionary(),
                       out.Value(catalog, "/Pages", "/Pages 3 0 R", true).mid(2).chopped(2));
        } else if (part.getPDFVersion() > m_version && part.getPDFVersion().size() == m_version.size()) {
            m_version = part.getPDFVersion();
        }
        for (const QPDFPageObjectHelper& page : all)
            m_kids.push_back(out.Number(page.getObjectHandle()));
        if (!out.Drain(going)) {
            if (error)
                error->clear();
            return false;
        }
        if (part.anyWarnings())
            return fail(kPartShape);
    } catch (const QPDFSystemError&) {
        return fail(kPartUnreadable);
    } catch (const std::exception&) {
        return fail(kPartShape);
    }
    ++m_parts;
    if (m_written > kWidestOffset)
        return fail(kPartShape);
    return true;
}

bool CPdfJoin::Commit(QString* error)
{
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_broken || m_parts == 0)
        return fail(kPartShape.arg(QString()));
    m_offsets[3] = m_written;
    QByteArray tree = "3 0 obj\n<</Type /Pages /Kids [";
    for (int kid : m_kids)
        tree += QByteArray::number(kid) + " 0 R\n";
    tree += "] /Count " + QByteArray::number(qsizetype(m_kids.size())) + ">>\nendobj\n";
    Write(tree);

    const qint64 xref = m_written;
    const int objects = int(m_offsets.size());
    QByteArray table = "xref\n0 " + QByteArray::number(objects) + "\n0000000000 65535 f \n";
    table.reserve(table.size() + 20 * objects + 100);
    for (int i = 1; i < objects; ++i) {
        if (m_offsets[size_t(i)] < 0 || m_offsets[size_t(i)] > kWidestOffset)
            return fail(kPartShape.arg(QString()));
        table += QByteArray::number(m_offsets[size_t(i)]).rightJustified(10, '0') + " 00000 n \n";
    }
    table += "trailer\n<</Size " + QByteArray::number(objects) + " /Info 1 0 R /Root 2 0 R>>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    Write(table);
    // The header names the highest version of the parts.
    bool written = Flush() && m_file.seek(5) && m_file.write(Bytes(m_version)) == qint64(m_version.size());
    if (written && m_file.commit())
        return true;
    return fail(m_file.errorString());
}
