#include "CmdTarget.h"

#include "Session.h"

bool CCmdUI::HasRights(const CSessionState& session, int roles)
{
    if (session.HasRights(roles))
        return true;
    m_lackingRoles |= roles;
    return false;
}

CCmdTarget::~CCmdTarget() = default;

bool CCmdTarget::OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui)
{
    switch (msg) {
    case CmdMsg::Execute: {
        auto it = m_commands.find(id);
        if (it == m_commands.end())
            return false;
        it->second();
        return true;
    }
    case CmdMsg::Update: {
        auto it = m_updates.find(id);
        if (it == m_updates.end() || !ui)
            return false;
        it->second(*ui);
        return true;
    }
    case CmdMsg::Query:
        return m_commands.count(id) != 0;
    }
    return false;
}

void CCmdTarget::OnCommand(int id, std::function<void()> handler)
{
    m_commands[id] = std::move(handler);
}

void CCmdTarget::OnUpdateCommand(int id, std::function<void(CCmdUI&)> handler)
{
    m_updates[id] = std::move(handler);
}

CCmdUI UpdateCommand(CCmdTarget& target, int id)
{
    CCmdUI ui(id);
    target.OnCmdMsg(id, CmdMsg::Update, &ui);
    if (!ui.enableChanged())
        ui.Enable(target.OnCmdMsg(id, CmdMsg::Query, &ui));
    return ui;
}
