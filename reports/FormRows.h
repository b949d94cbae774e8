// Small pieces shared by the builders of the tree-shaped forms: names indented by their depth and
// reads whose reported errors must fail the run instead of leaving a partial report behind.
#pragma once

#include "ErrorSink.h"
#include "ReportDatabase.h"

#include <QString>

#include <utility>

// `depth` dashes, then the name; a text longer than 255 characters keeps its first 254.
inline QString IndentedReportName(int depth, const QString& name)
{
    const QString text = QString(depth, u'-') + name;
    return text.size() > 255 ? text.left(254) : text;
}

// Runs a read of the record layer, which reports its own errors and goes on; the first error it
// reported fails the run.
template <class Read>
auto CheckedRead(Read&& read)
{
    CErrorCollector collector;
    auto result = std::forward<Read>(read)();
    auto errors = collector.take();
    if (!errors.empty())
        throw CReportFailure(errors.front());
    return result;
}
