// Command routing: every command keeps its numeric id; a target answers whether it handles a
// command, updates its state (enabled, checked) and runs it. A command that no target handles
// is disabled.
#pragma once

#include <functional>
#include <unordered_map>

struct CSessionState;

// The state of one command as the targets set it while it is updated.
class CCmdUI {
public:
    explicit CCmdUI(int id)
        : m_id(id)
    {
    }

    int id() const { return m_id; }
    void Enable(bool on = true)
    {
        m_enabled = on;
        m_enableChanged = true;
    }
    void SetCheck(bool on = true)
    {
        m_checked = on;
        m_checkChanged = true;
    }

    // Whether the session's login holds one of `roles`. When it holds none they are noted: the window
    // says which role the command needs while it is disabled.
    bool HasRights(const CSessionState& session, int roles);
    // The roles of which the command needs one and the login holds none; 0 when none is missing.
    int lackingRoles() const { return m_lackingRoles; }

    bool enabled() const { return m_enabled; }
    bool enableChanged() const { return m_enableChanged; }
    bool checked() const { return m_checked; }
    bool checkChanged() const { return m_checkChanged; }

private:
    int m_id;
    bool m_enabled = true;
    bool m_enableChanged = false;
    bool m_checked = false;
    bool m_checkChanged = false;
    int m_lackingRoles = 0;
};

enum class CmdMsg {
    Execute, // run the command
    Update,  // set its state through the CCmdUI
    Query,   // only answer whether a handler exists
};

class CCmdTarget {
public:
    virtual ~CCmdTarget();

    // True when this target (or one it routes to) handled the message.
    virtual bool OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui);

protected:
    void OnCommand(int id, std::function<void()> handler);
    void OnUpdateCommand(int id, std::function<void(CCmdUI&)> handler);

private:
    std::unordered_map<int, std::function<void()>> m_commands;
    std::unordered_map<int, std::function<void(CCmdUI&)>> m_updates;
};

// Updates one command over a target: the target's update handlers decide; when none set the
// enabled state, the command is enabled exactly when some target has a handler for it.
CCmdUI UpdateCommand(CCmdTarget& target, int id);
