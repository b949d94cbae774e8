#include "ColumnWidths.h"

#include "ProfileSettings.h"

#include <QHeaderView>

#include <algorithm>
#include <numeric>

namespace {

constexpr int kMinWidth = 8;
constexpr int kMaxWidth = 4000;

QString Caption(const QHeaderView* header, int column)
{
    return header->model() ? header->model()->headerData(column, header->orientation()).toString() : QString();
}

} // namespace

CColumnWidths::CColumnWidths(QHeaderView* header, const QString& path)
    : QObject(header)
    , m_header(header)
    , m_path(path)
{
    CProfileSettings profile;
    for (const QString& entry : profile.value(path).toStringList()) {
        const int blank = entry.indexOf(u' ');
        bool ok = false;
        const int width = entry.left(blank).toInt(&ok);
        if (blank > 0 && ok && width >= kMinWidth && width <= kMaxWidth)
            m_widths.insert(entry.mid(blank + 1), width);
    }
    connect(header, &QHeaderView::sectionResized, this, &CColumnWidths::OnResized);
}

CColumnWidths::~CColumnWidths()
{
    // The header is going: only what was noted is written.
    if (!m_changed)
        return;
    QStringList entries;
    for (auto it = m_widths.cbegin(); it != m_widths.cend(); ++it)
        entries << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    entries.sort();
    CProfileSettings profile;
    profile.setValue(m_path, entries);
}

int CColumnWidths::Width(const QString& caption, int fallback) const
{
    return m_widths.value(caption, fallback);
}

void CColumnWidths::Apply()
{
    m_applying = true;
    for (int c = 0; c < m_header->count(); ++c) {
        const auto it = m_widths.constFind(Caption(m_header, c));
        if (it != m_widths.cend())
            m_header->resizeSection(c, it.value());
    }
    m_applying = false;
}

void CColumnWidths::Resize(int column, int width)
{
    m_applying = true;
    m_header->resizeSection(column, width);
    m_applying = false;
}

void CColumnWidths::OnResized(int column, int, int newSize)
{
    // The last column fills what the view leaves over: its width is not the user's.
    if (m_applying || newSize < kMinWidth || (m_header->stretchLastSection() && column == m_header->count() - 1))
        return;
    const QString caption = Caption(m_header, column);
    if (caption.isEmpty() || m_widths.value(caption) == newSize)
        return;
    m_widths.insert(caption, newSize);
    m_changed = true;
}

std::vector<int> FitColumnWidths(const std::vector<CColumnFit>& columns, int room)
{
    std::vector<int> least, need, desired;
    for (const CColumnFit& c : columns) {
        least.push_back(std::max(0, c.least));
        need.push_back(std::max(least.back(), c.need));
        desired.push_back(std::max(need.back(), c.usual));
    }
    const auto sum = [](const std::vector<int>& v) { return std::accumulate(v.begin(), v.end(), qint64(0)); };
    const qint64 wanted = sum(desired), needed = sum(need);
    if (wanted <= room)
        return desired;
    std::vector<int> widths = need;
    if (needed <= room) {
        const qint64 spare = room - needed;
        for (size_t i = 0; i < widths.size(); ++i)
            widths[i] += int((desired[i] - need[i]) * spare / (wanted - needed));
        return widths;
    }
    if (sum(least) >= room)
        return least;
    // The largest cap under which the columns fill no more than the room.
    const auto capped = [&](int cap) {
        qint64 total = 0;
        for (size_t i = 0; i < need.size(); ++i)
            total += std::max(least[i], std::min(need[i], cap));
        return total;
    };
    int low = 0, high = *std::max_element(need.begin(), need.end());
    while (low < high) {
        const int mid = low + (high - low + 1) / 2;
        if (capped(mid) <= room)
            low = mid;
        else
            high = mid - 1;
    }
    for (size_t i = 0; i < widths.size(); ++i)
        widths[i] = std::max(least[i], std::min(need[i], low));
    return widths;
}

std::vector<int> ReadProfileNumbers(const QString& path)
{
    CProfileSettings profile;
    std::vector<int> numbers;
    for (const QString& part : profile.value(path).toString().split(u' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok)
            return {};
        numbers.push_back(n);
    }
    return numbers;
}

std::vector<int> StoredColumnWidths(const QString& path, int count)
{
    std::vector<int> widths = ReadProfileNumbers(path);
    if (int(widths.size()) != count)
        return {};
    for (int w : widths)
        if (w < -1 || w > kMaxWidth)
            return {};
    return widths;
}

void WriteProfileNumbers(const QString& path, const std::vector<int>& numbers)
{
    QStringList parts;
    for (int n : numbers)
        parts << QString::number(n);
    CProfileSettings profile;
    profile.setValue(path, parts.join(u' '));
}
