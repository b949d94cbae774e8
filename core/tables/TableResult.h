// What a table operation has to tell the user. Core never shows anything: the operation answers the
// notice, and its caller shows it (text and flags as given, MB_... of AppMessage.h) when the answer
// comes back.
#pragma once

#include <QString>

#include <optional>
#include <utility>

struct CNotice {
    QString text;
    unsigned flags = 0;
};

// Whether the operation was done, and what to tell the user about it. A plain false is a failure that
// has been reported already (a database error through ReportComError) or needs no words.
struct [[nodiscard]] CTableResult {
    bool done = false;
    std::optional<CNotice> notice;

    CTableResult(bool ok = false)
        : done(ok)
    {
    }
    CTableResult(bool ok, CNotice shown)
        : done(ok)
        , notice(std::move(shown))
    {
    }
    explicit operator bool() const { return done; }
};
