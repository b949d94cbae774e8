// The host's side of a transport's receive channel, for tests and benchmarks: it hands the
// import folder over with code 5, runs the receive loop on a thread of its own, answers every
// notification with 6 (an item with the answer chosen) and records what arrives. An item can be held unanswered, as the
// program holds one while a message box waits for the user. No gtest here: benchmarks use it too.
#pragma once

#include <transport/ITransport.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CTransportTestHost {
public:
    struct Item {
        std::int32_t code = 0;
        std::optional<std::string> from, subject, infoText, filePath;
        std::optional<std::string> file; // the bytes of filePath while the item was held
        std::int32_t answer = 0;         // once answered
    };
    using Loop = std::function<HRESULT(CTransportChannel*)>;
    using Clock = std::chrono::steady_clock;

    explicit CTransportTestHost(std::string importFolder);
    // Stops the loop through the stop event when it still runs.
    ~CTransportTestHost();
    CTransportTestHost(const CTransportTestHost&) = delete;
    CTransportTestHost& operator=(const CTransportTestHost&) = delete;

    // Starts the loop on its thread and returns once it has taken the start record (or ended).
    void Start(Loop loop);
    // Sets the stop event and waits for the loop's result.
    HRESULT Stop();
    // Waits for the loop to end by itself.
    std::optional<HRESULT> Join(std::chrono::milliseconds timeout);
    bool Running() const;
    // Set by the loop's runner to end it; the host sets it in Stop.
    int StopEvent() const { return m_stop; }
    // The time the loop took its start record.
    Clock::time_point Started() const { return m_started; }

    // The answer to the items from now on: 6 (taken) unless told otherwise.
    void AnswerItems(std::int32_t code);
    // Whether each item's file is read into Item::file (it is unless told otherwise).
    void RecordFiles(bool record);
    // While holding, each item waits for Release before it is answered.
    void Hold(bool hold);
    void Release();
    // True once an item waits for its answer.
    bool WaitForHeld(std::chrono::milliseconds timeout);

    std::vector<Item> Items() const;
    // The texts of the log lines handed over so far, without their stamp and code.
    std::vector<std::string> LogTexts() const;
    int LogHandOvers() const;
    // Waits until the condition, checked under the host's lock, holds.
    bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
    bool WaitForItems(std::size_t count, std::chrono::milliseconds timeout);
    // Waits until `count` log lines equal to `text` have arrived.
    bool WaitForLog(const std::string& text, int count, std::chrono::milliseconds timeout);

    CTransportChannel channel;

private:
    void Serve();
    int CountLog(const std::string& text) const;

    std::string m_folder;
    const char* m_folderText = nullptr;
    int m_stop = -1;
    int m_quit = -1;
    std::thread m_loopThread;
    std::thread m_hostThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_running = false;
    std::optional<HRESULT> m_result;
    Clock::time_point m_started;
    bool m_holding = false;
    bool m_held = false;
    int m_releases = 0;
    std::int32_t m_itemAnswer = TC_ACK;
    bool m_recordFiles = true;
    std::vector<Item> m_items;
    std::vector<std::string> m_log;
    int m_logHandOvers = 0;
};
