// The operation journal (tFctOpJournal): one writer for every table module and the transport host.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The longest text a row keeps whole; a longer one keeps its first kLongestJournalText - 1.
inline constexpr qsizetype kLongestJournalText = 255;

// Type 0, the current local time (whole seconds). Nothing is written while the journal is off.
void WriteOpJournal(const QString& text);
// A database error is shown and otherwise ignored: the journal never stops what it records. The
// server stamps a line with its own time: there `date` is not used.
void WriteOpJournalAt(const QString& text, int type, const QDateTime& date);
// Type 0 lines, all with the current time, written together in one transaction: all or none.
void WriteOpJournalLines(const QStringList& texts);

// Lines that the database makes from rows it holds, by one statement: the expression `text` (its
// values `textArgs`) for each row of `from` (its values `fromArgs`), in the order of `orderBy`. Each
// line must fit kLongestJournalText.
struct CJournalSelect {
    QString text;
    QVariantList textArgs;
    QString from;
    QVariantList fromArgs;
    QString orderBy;
    std::shared_ptr<const void> keep; // what `from` reads, kept until the lines are written
};
// Lines as they are stored: cut to kLongestJournalText, in UTF-8, each after its length, in blocks
// that a commit takes from a pool and gives back when its lines are written. A commit of many rows
// holds its lines without a string apiece, and the next one finds its memory ready: fresh pages cost
// more than the lines.
class CJournalTexts {
public:
    CJournalTexts() = default;
    explicit CJournalTexts(const QStringList& texts);
    CJournalTexts(CJournalTexts&& other) noexcept;
    CJournalTexts& operator=(CJournalTexts&& other) noexcept;
    ~CJournalTexts();
    void append(const QString& text);
    // A UTF-8 text known to be no longer than a row keeps.
    void appendUtf8(std::string_view text);
    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }

    // The lines in their order.
    class Reader {
    public:
        explicit Reader(const CJournalTexts& texts)
            : m_texts(texts)
        {
        }
        std::string_view next();

    private:
        const CJournalTexts& m_texts;
        std::size_t m_block = 0;
        std::size_t m_offset = 0;
    };

private:
    struct Block {
        char* bytes;
        std::uint32_t used;
        std::uint32_t capacity;
    };
    void Release();

    std::vector<Block> m_blocks;
    qsizetype m_count = 0;
};

// Lines of one commit in their order: plain lines, then the lines of a select.
struct CJournalPart {
    CJournalTexts lines;
    std::optional<CJournalSelect> select;
};
// As WriteOpJournalLines: all or none.
void WriteOpJournalParts(const std::vector<CJournalPart>& parts);

// The login that the journal records on SQLite (the server knows its own).
QString OperatingSystemLogin();
