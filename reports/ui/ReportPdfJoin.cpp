#include "ReportPdfJoin.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

using namespace ReportPdfTexts;

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/'
        || c == '%';
}

struct Token {
    enum Kind { Number, Name, Keyword, String, Open, Close };
    Kind kind = Keyword;
    qsizetype begin = 0;
    qsizetype end = 0;
};

// The next token of the object syntax from `pos` on; none at the end, or where the text breaks off
// (`broken` then tells so). Comments are passed over.
std::optional<Token> NextToken(QByteArrayView s, qsizetype& pos, bool& broken)
{
    const qsizetype n = s.size();
    while (pos < n && (IsBlank(s[pos]) || s[pos] == '%')) {
        if (s[pos] == '%')
            while (pos < n && s[pos] != '\n' && s[pos] != '\r')
                ++pos;
        else
            ++pos;
    }
    if (pos >= n)
        return std::nullopt;
    Token t;
    t.begin = pos;
    const char c = s[pos];
    const bool twice = pos + 1 < n && s[pos + 1] == c;
    if (c == '(') {
        t.kind = Token::String;
        int depth = 0;
        for (; pos < n; ++pos) {
            if (s[pos] == '\\')
                ++pos;
            else if (s[pos] == '(')
                ++depth;
            else if (s[pos] == ')' && --depth == 0)
                break;
        }
        if (pos >= n) {
            broken = true;
            return std::nullopt;
        }
        ++pos;
    } else if ((c == '<' || c == '>') && twice) {
        t.kind = c == '<' ? Token::Open : Token::Close;
        pos += 2;
    } else if (c == '<') {
        t.kind = Token::String;
        while (pos < n && s[pos] != '>')
            ++pos;
        if (pos >= n) {
            broken = true;
            return std::nullopt;
        }
        ++pos;
    } else if (c == '[' || c == '{' || c == ']' || c == '}') {
        t.kind = c == '[' || c == '{' ? Token::Open : Token::Close;
        ++pos;
    } else if (c == ')' || c == '>') {
        broken = true;
        return std::nullopt;
    } else {
        t.kind = c == '/' ? Token::Name : Token::Number;
        if (c == '/')
            ++pos;
        bool digit = false;
        for (; pos < n && !IsBlank(s[pos]) && !IsDelimiter(s[pos]); ++pos) {
            const char d = s[pos];
            digit = digit || (d >= '0' && d <= '9');
            if (t.kind == Token::Number && !(d >= '0' && d <= '9') && d != '.' && d != '-' && d != '+')
                t.kind = Token::Keyword;
        }
        if (t.kind == Token::Number && !digit)
            t.kind = Token::Keyword;
    }
    t.end = pos;
    return t;
}

// The tokens of a text up to its end; none when it breaks off.
std::optional<std::vector<Token>> Tokens(QByteArrayView s, qsizetype pos = 0)
{
    std::vector<Token> tokens;
    bool broken = false;
    while (const auto t = NextToken(s, pos, broken))
        tokens.push_back(*t);
    if (broken)
        return std::nullopt;
    return tokens;
}

// The value of a token of digits only; -1 for any other.
qint64 Whole(QByteArrayView s, const Token& t)
{
    if (t.kind != Token::Number || t.end - t.begin > 12)
        return -1;
    qint64 value = 0;
    for (qsizetype i = t.begin; i < t.end; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return -1;
        value = value * 10 + (s[i] - '0');
    }
    return value;
}

QByteArrayView Text(QByteArrayView s, const Token& t)
{
    return s.sliced(t.begin, t.end - t.begin);
}

// Whether tokens i to i + 2 are the reference "number 0 R"; the number, or -1.
qint64 Reference(QByteArrayView s, const std::vector<Token>& tokens, size_t i)
{
    if (i + 2 >= tokens.size() || tokens[i + 2].kind != Token::Keyword || Text(s, tokens[i + 2]) != "R")
        return -1;
    if (Whole(s, tokens[i + 1]) != 0)
        return -1;
    return Whole(s, tokens[i]);
}

QByteArrayView TrimmedEnd(QByteArrayView s)
{
    qsizetype n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return s.first(n);
}

// A subset font's tag (six capitals before "+") that no other font of the file has: Qt gives every
// subset of a font the same one, which readers that find fonts by name would mistake for one font.
QByteArray Tag(int number)
{
    QByteArray tag(6, 'A');
    for (int i = 5; i >= 0 && number > 0; --i, number /= 26)
        tag[i] = char('A' + number % 26);
    return tag;
}

constexpr qint64 kWidestOffset = 9999999999; // ten digits in the cross-reference table
constexpr qint64 kWidestHeader = 1024;       // the file's first line and its comment of binary bytes

} // namespace

struct CPdfJoin::Part {
    QString name;
    bool first = false;
    int size = 0;  // the objects and the free object 0
    int shift = 0; // object n from 4 on becomes n + shift
    std::vector<bool> pages;
    std::vector<int> kids;
    qint64 count = -1;
    bool catalog = false;
    bool information = false;

    int Map(int n) const { return n <= 3 ? n : n + shift; }
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

void CPdfJoin::Write(QByteArrayView bytes)
{
    m_file.write(bytes.data(), bytes.size());
    m_written += bytes.size();
}

bool CPdfJoin::Add(const QString& path, int pages, QString* error)
{
    // A part that failed may have left some of its objects written: nothing is joined after it.
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
    Part part;
    part.name = QFileInfo(path).fileName();
    part.first = m_parts == 0;
    const auto unreadable = [&] {
        if (error)
            *error = kPartUnreadable.arg(part.name);
        return false;
    };
    const auto shape = [&] {
        if (error)
            *error = kPartShape.arg(part.name);
        return false;
    };
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return unreadable();
    const qint64 size = in.size();

    // The end: "startxref", the table's offset, "%%EOF".
    const qint64 tailFrom = std::max<qint64>(0, size - 1024);
    if (!in.seek(tailFrom))
        return unreadable();
    const QByteArray tail = in.read(size - tailFrom);
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0 || !tail.trimmed().endsWith("%%EOF"))
        return shape();
    const auto end = Tokens(tail, at + 9);
    if (!end || end->size() != 1)
        return shape();
    const qint64 xref = Whole(tail, end->front());
    if (xref <= 0 || xref >= size || !in.seek(xref))
        return shape();

    // The cross-reference table: one section from object 0, every object in use at its offset.
    const QByteArray table = in.read(size - xref);
    bool broken = false;
    qsizetype pos = 0;
    const auto next = [&] { return NextToken(table, pos, broken); };
    const auto keyword = next();
    const auto from = next();
    const auto count = next();
    if (!keyword || Text(table, *keyword) != "xref" || !from || Whole(table, *from) != 0 || !count)
        return shape();
    const qint64 objects = Whole(table, *count);
    if (objects < 4 || objects > 100'000'000)
        return shape();
    part.size = int(objects);
    std::vector<qint64> offsets(size_t(objects), -1);
    while (pos < table.size() && IsBlank(table[pos]))
        ++pos;
    for (qint64 i = 0; i < objects; ++i, pos += 20) {
        if (pos + 20 > table.size())
            return shape();
        const QByteArrayView entry = QByteArrayView(table).sliced(pos, 20);
        const char kind = entry[17];
        const bool spaced = entry[10] == ' ' && entry[16] == ' ';
        const bool ended = (entry[18] == ' ' || entry[18] == '\r') && (entry[19] == '\n' || entry[19] == '\r');
        if (!spaced || !ended || kind != (i == 0 ? 'f' : 'n'))
            return shape();
        if (i == 0)
            continue;
        qint64 offset = 0;
        for (int k = 0; k < 10; ++k) {
            if (entry[k] < '0' || entry[k] > '9')
                return shape();
            offset = offset * 10 + (entry[k] - '0');
        }
        if (entry.sliced(11, 5) != "00000" || offset <= 0 || offset >= xref)
            return shape();
        offsets[size_t(i)] = offset;
    }
    // The trailer names the information as object 1 and the catalog as object 2.
    const auto trailer = Tokens(table, pos);
    if (!trailer || trailer->size() < 3 || Text(table, trailer->front()) != "trailer"
        || Text(table, (*trailer)[trailer->size() - 2]) != "startxref" || Whole(table, trailer->back()) != xref)
        return shape();
    qint64 declared = -1;
    qint64 root = -1;
    qint64 info = -1;
    for (size_t i = 1; i + 2 < trailer->size(); ++i) {
        const QByteArrayView key = Text(table, (*trailer)[i]);
        if (key == "/Size")
            declared = Whole(table, (*trailer)[i + 1]);
        else if (key == "/Root")
            root = Reference(table, *trailer, i + 1);
        else if (key == "/Info")
            info = Reference(table, *trailer, i + 1);
    }
    if (declared != objects || root != 2 || info != 1)
        return shape();

    // The objects in the order they stand, each up to the next (the last up to the table).
    std::vector<int> order(size_t(objects) - 1);
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i) + 1;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return offsets[size_t(a)] < offsets[size_t(b)]; });
    const qint64 first = offsets[size_t(order.front())];
    if (first > kWidestHeader)
        return shape();
    if (!in.seek(0))
        return unreadable();
    const QByteArray header = in.read(first);
    if (header.size() != first)
        return unreadable();
    if (!header.startsWith("%PDF-"))
        return shape();
    part.shift = m_next - 4;
    part.pages.assign(size_t(objects), false);
    m_offsets.resize(size_t(m_next + objects - 4), -1);
    if (part.first)
        Write(header);
    for (size_t i = 0; i < order.size(); ++i) {
        const qint64 begin = offsets[size_t(order[i])];
        const qint64 length = (i + 1 < order.size() ? offsets[size_t(order[i + 1])] : xref) - begin;
        if (length <= 0)
            return shape();
        const QByteArray text = in.read(length);
        if (text.size() != length)
            return unreadable();
        if (!Object(part, order[i], text))
            return shape();
    }

    // The page tree holds as many pages as were painted into the part, each a page of the tree once.
    if (!part.catalog || !part.information || part.count != pages || part.kids.size() != size_t(pages)
        || std::count(part.pages.begin(), part.pages.end(), true) != pages)
        return shape();
    for (int kid : part.kids) {
        if (!part.pages[size_t(kid)])
            return shape();
        m_kids.push_back(part.Map(kid));
    }
    m_next += int(objects) - 4;
    ++m_parts;
    if (m_written > kWidestOffset)
        return shape();
    return true;
}

bool CPdfJoin::Object(Part& part, int number, QByteArrayView text)
{
    // "n 0 obj", the object's value, then "endobj", or "stream" with the data and "endstream endobj".
    qsizetype pos = 0;
    bool broken = false;
    const auto n = NextToken(text, pos, broken);
    const auto generation = NextToken(text, pos, broken);
    const auto obj = NextToken(text, pos, broken);
    if (!n || Whole(text, *n) != number || !generation || Whole(text, *generation) != 0 || !obj
        || Text(text, *obj) != "obj")
        return false;
    const qsizetype valueFrom = pos;
    std::vector<Token> tokens;
    std::optional<Token> last;
    while ((last = NextToken(text, pos, broken))) {
        if (last->kind == Token::Keyword && (Text(text, *last) == "stream" || Text(text, *last) == "endobj"))
            break;
        tokens.push_back(*last);
    }
    if (!last)
        return false;
    const qsizetype valueTo = last->begin;
    if (Text(text, *last) == "stream") {
        // The data is copied as it stands; it must be ended as Qt ends it.
        const bool eol = pos < text.size() && (text[pos] == '\n' || text[pos] == '\r');
        const QByteArrayView rest = TrimmedEnd(text.sliced(pos));
        if (!eol || !rest.endsWith("endobj") || !TrimmedEnd(rest.chopped(6)).endsWith("endstream"))
            return false;
    } else if (!TrimmedEnd(text.sliced(last->end)).isEmpty()) {
        return false;
    }

    // The references renumbered, subset tags made unique; what the object is.
    struct Edit {
        qsizetype begin;
        qsizetype end;
        QByteArray with;
    };
    std::vector<Edit> edits;
    bool page = false;
    bool parent = false;
    bool tree = false;
    bool catalog = false;
    bool catalogTree = false;
    std::optional<Token> kidsOpen;
    std::optional<Token> kidsClose;
    std::optional<Token> count;
    size_t references = 0;
    const auto word = [&](size_t i) { return i < tokens.size() ? Text(text, tokens[i]) : QByteArrayView(); };
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Token::Keyword && word(i) == "R") {
            if (i < 2 || Reference(text, tokens, i - 2) < 0)
                return false;
            continue;
        }
        const qint64 target = Reference(text, tokens, i);
        if (target >= 0) {
            if (target < 1 || target >= part.size)
                return false;
            edits.push_back(Edit{t.begin, t.end, QByteArray::number(part.Map(int(target)))});
            ++references;
            i += 2;
            continue;
        }
        if (t.kind != Token::Name)
            continue;
        const QByteArrayView key = word(i);
        if (key == "/Type") {
            page = page || word(i + 1) == "/Page";
            tree = tree || word(i + 1) == "/Pages";
            catalog = catalog || word(i + 1) == "/Catalog";
        } else if (key == "/Parent") {
            parent = Reference(text, tokens, i + 1) == 3;
        } else if (key == "/FontName" && i + 1 < tokens.size()) {
            const Token& font = tokens[i + 1];
            const QByteArrayView name = Text(text, font);
            if (font.kind == Token::Name && name.size() > 8 && name[7] == '+'
                && std::all_of(name.begin() + 1, name.begin() + 7, [](char c) { return c >= 'A' && c <= 'Z'; }))
                edits.push_back(Edit{font.begin + 1, font.begin + 7, Tag(part.Map(number))});
        } else if (key == "/Kids" && i + 1 < tokens.size() && word(i + 1) == "[") {
            kidsOpen = tokens[i + 1];
            size_t k = i + 2;
            for (; k < tokens.size() && word(k) != "]"; k += 3) {
                const qint64 kid = Reference(text, tokens, k);
                if (kid < 4 || kid >= part.size)
                    return false;
                part.kids.push_back(int(kid));
            }
            if (k >= tokens.size())
                return false;
            kidsClose = tokens[k];
        } else if (key == "/Count" && i + 1 < tokens.size()) {
            count = tokens[i + 1];
            part.count = Whole(text, *count);
        } else if (key == "/Pages") {
            catalogTree = Reference(text, tokens, i + 1) == 3;
        }
    }
    if (page && !parent)
        return false;
    part.pages[size_t(number)] = page;

    const auto copy = [&](qsizetype from, qsizetype to) {
        QByteArray out;
        for (const Edit& edit : edits) {
            if (edit.begin < from || edit.end > to)
                continue;
            out += text.sliced(from, edit.begin - from);
            out += edit.with;
            from = edit.end;
        }
        out += text.sliced(from, to - from);
        return out;
    };
    switch (number) {
    case 1:
        part.information = true;
        break;
    case 2:
        // The catalog is a catalog of the page tree 3.
        if (!catalog || !catalogTree)
            return false;
        part.catalog = true;
        break;
    case 3:
        // The page tree: its pages and their count, and nothing else it refers to.
        if (!tree || !kidsOpen || !kidsClose || !count || references != part.kids.size())
            return false;
        if (part.first) {
            m_treeHead = copy(valueFrom, kidsOpen->end);
            m_treeMiddle = copy(kidsClose->begin, count->begin);
            m_treeTail = copy(count->end, text.size());
        }
        return true;
    default:
        break;
    }
    if (number <= 2 && !part.first)
        return true;
    const int renumbered = part.Map(number);
    m_offsets[size_t(renumbered)] = m_written;
    Write(QByteArray::number(renumbered) + " 0 obj");
    Write(copy(valueFrom, valueTo));
    Write(text.sliced(valueTo));
    return true;
}

bool CPdfJoin::Commit(QString* error)
{
    if (m_broken || m_parts == 0 || m_treeHead.isEmpty()) {
        if (error)
            *error = kPartShape.arg(QString());
        return false;
    }
    m_offsets[3] = m_written;
    QByteArray tree = "3 0 obj" + m_treeHead + '\n';
    for (int kid : m_kids)
        tree += QByteArray::number(kid) + " 0 R\n";
    tree += m_treeMiddle + QByteArray::number(qsizetype(m_kids.size())) + m_treeTail;
    Write(tree);

    const qint64 xref = m_written;
    const int objects = int(m_offsets.size());
    QByteArray table = "xref\n0 " + QByteArray::number(objects) + "\n0000000000 65535 f \n";
    table.reserve(table.size() + 20 * objects + 100);
    for (int i = 1; i < objects; ++i) {
        if (m_offsets[size_t(i)] < 0 || m_offsets[size_t(i)] > kWidestOffset) {
            if (error)
                *error = kPartShape.arg(QString());
            return false;
        }
        table += QByteArray::number(m_offsets[size_t(i)]).rightJustified(10, '0') + " 00000 n \n";
    }
    table += "trailer\n<<\n/Size " + QByteArray::number(objects) + "\n/Info 1 0 R\n/Root 2 0 R\n>>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    Write(table);
    if (m_file.commit())
        return true;
    if (error)
        *error = m_file.errorString();
    return false;
}
