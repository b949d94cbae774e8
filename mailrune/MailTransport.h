// The plug-in object: the nine operations the host calls through ITransport.
#pragma once

#include <transport/ITransport.h>

#include <QDateTime>
#include <QSettings>

#include <string>

// The log's clock; tests install a fixed one. nullptr restores the local time.
using MailLogClock = QDateTime (*)();
void SetMailLogClock(MailLogClock clock);

// Copies a text into a malloc'ed string that the host frees; null when memory runs out.
char16_t* DupHostString(const char16_t* text);

// printf into a string.
std::string MailFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

class CMailTransport final : public ITransport {
public:
    // showSettings runs the settings dialog; the module supplies it, the library has no widgets.
    explicit CMailTransport(void (*showSettings)() = nullptr);

    char16_t* GetDisplayName() override;
    char16_t* GetCode() override;
    std::int32_t HasSettings() override;
    void ShowSettings() override;
    HRESULT Send(const char16_t* descriptionPath, char16_t** resultPath) override;
    std::int32_t IsReceiveEnabled() override;
    HRESULT ReceiveLoop(CTransportChannel* channel) override;
    void Log(const char* text) override;
    void FlushLog(CTransportChannel* channel) override;

    // A text value of the settings group as UTF-8; a binary value's bytes are cp1251 text. Empty
    // when the value is missing.
    static std::string ReadRegString(const QSettings& key, const char* name);
    // Writes the result file into the temporary folder: "Завершено успешно." for an empty error,
    // else "Ошибка: " + error. *resultPath gets its malloc'ed path, or null when none was written.
    static void WriteResult(const std::string& error, char16_t** resultPath);

    // What the log holds since the last hand-over (UTF-8).
    const std::string& LogText() const { return m_log; }

private:
    std::string m_log;
    void (*m_showSettings)();
};
