#include "UsersDlg.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "ModalHook.h"
#include "TableNotices.h"
#include "TreeCtrlX.h"
#include "tables/Forecasts.h"
#include "tables/Receivers.h"
#include "tables/UserRights.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

using namespace UserTexts;

namespace {

enum ButtonId { ID_NEW = 1120, ID_EDIT = 1121, ID_DELETE = 1122, ID_PASSWORD = 1123, ID_RIGHTS = 1124 };
constexpr int kRolesRole = Qt::UserRole + 1;

template <class W>
W* Named(W* widget, int id)
{
    widget->setObjectName(QStringLiteral("id%1").arg(id));
    return widget;
}

bool SameLogin(const QString& a, const QString& b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsExternalAccount(const QString& login)
{
    return login.contains(u'\\');
}

} // namespace

QString UserRolesText(int roles)
{
    QStringList names;
    if (roles & ROLE_ADMIN)
        names << QStringLiteral("Администратор");
    if (roles & ROLE_EXPERT)
        names << QStringLiteral("Ведущий специалист");
    if (roles & ROLE_USER)
        names << QStringLiteral("Пользователь");
    return names.join(QStringLiteral(", "));
}

QString RoleChoiceText(int roles)
{
    QStringList names;
    for (const int role : {ROLE_ADMIN, ROLE_EXPERT, ROLE_USER})
        if (roles & role)
            names << u'«' + UserRolesText(role) + u'»';
    return names.join(QStringLiteral(" или "));
}

// ---- password

CUserPasswordDlg::CUserPasswordDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id193"));
    m_password = Named(new QLineEdit(this), 1138);
    m_confirm = Named(new QLineEdit(this), 1137);
    for (QLineEdit* e : {m_password, m_confirm}) {
        e->setEchoMode(QLineEdit::Password);
        e->setMaxLength(255);
        connect(e, &QLineEdit::textChanged, this, &CUserPasswordDlg::UpdateOk);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Пароль:"), m_password);
    form->addRow(QStringLiteral("Подтверждение пароля:"), m_confirm);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(this, &m_ok));
    UpdateOk();
}

void CUserPasswordDlg::UpdateOk()
{
    m_ok->setEnabled(!m_password->text().isEmpty() && m_password->text() == m_confirm->text());
}

void CUserPasswordDlg::accept()
{
    if (!m_ok->isEnabled())
        return;
    password = m_password->text();
    QDialog::accept();
}

// ---- one user

CUserEditDlg::CUserEditDlg(const CSystemUserRecord& user, QWidget* parent)
    : QDialog(parent)
    , login(user.userID)
    , roles(user.userRoles)
    , m_isNew(user.id == 0)
{
    setObjectName(QStringLiteral("id181"));
    setWindowTitle(kUserCaption);
    m_name = Named(new QLineEdit(this), 1086);
    m_login = Named(new QLineEdit(login, this), 1129);
    m_login->setMaxLength(kMaxLoginLength);
    auto* box = new QGroupBox(QStringLiteral("Роли"), this);
    auto* boxLayout = new QVBoxLayout(box);
    m_admin = Named(new QCheckBox(QStringLiteral("Администратор"), box), 1087);
    m_expert = Named(new QCheckBox(QStringLiteral("Ведущий специалист"), box), 1126);
    m_user = Named(new QCheckBox(QStringLiteral("Пользователь"), box), 1127);
    for (QCheckBox* c : {m_admin, m_expert, m_user})
        boxLayout->addWidget(c);
    m_passwordButton = Named(new QPushButton(QStringLiteral("Пароль"), this), 1128);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Имя пользователя:"), m_name);
    form->addRow(QStringLiteral("Учетная запись:"), m_login);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(box);
    layout->addWidget(m_passwordButton, 0, Qt::AlignLeft);
    layout->addWidget(OkCancelButtons(this));

    m_admin->setChecked(roles & ROLE_ADMIN);
    m_expert->setChecked(roles & ROLE_EXPERT);
    m_user->setChecked(roles & ROLE_USER);
    connect(m_expert, &QCheckBox::clicked, this, &CUserEditDlg::UpdateStates);
    connect(m_user, &QCheckBox::clicked, this, &CUserEditDlg::UpdateStates);
    connect(m_name, &QLineEdit::textChanged, this, &CUserEditDlg::UpdateStates);
    connect(m_login, &QLineEdit::textChanged, this, &CUserEditDlg::UpdateStates);
    connect(m_passwordButton, &QPushButton::clicked, this, &CUserEditDlg::OnPassword);
    UpdateStates();
}

QCheckBox* CUserEditDlg::roleBox(int role) const
{
    return role == ROLE_ADMIN ? m_admin : role == ROLE_EXPERT ? m_expert : m_user;
}

void CUserEditDlg::UpdateStates()
{
    // The expert and the plain user exclude each other.
    if (m_expert->isChecked())
        m_user->setChecked(false);
    m_user->setEnabled(!m_expert->isChecked());
    if (m_user->isChecked())
        m_expert->setChecked(false);
    m_expert->setEnabled(!m_user->isChecked());
    m_passwordButton->setEnabled(!IsExternalAccount(m_login->text()));
}

void CUserEditDlg::OnPassword()
{
    CUserPasswordDlg dlg(this);
    if (ExecModal(dlg) == QDialog::Accepted)
        password = dlg.password;
}

void CUserEditDlg::accept()
{
    const QString name = m_login->text().trimmed();
    if (name.isEmpty()) {
        AppMessageBox(kNoLogin, MB_ICONEXCLAMATION, this);
        return;
    }
    const int chosen = (m_admin->isChecked() ? ROLE_ADMIN : 0) | (m_expert->isChecked() ? ROLE_EXPERT : 0)
        | (m_user->isChecked() ? ROLE_USER : 0);
    if (chosen == 0) {
        AppMessageBox(kNoRole, MB_ICONEXCLAMATION, this);
        return;
    }
    if (m_isNew && !IsExternalAccount(name) && password.isEmpty()) {
        AppMessageBox(kNoPassword, MB_ICONEXCLAMATION, this);
        return;
    }
    if (IsExternalAccount(name))
        password.clear();
    login = name;
    roles = chosen;
    QDialog::accept();
}

// ---- rights

UserRightsSelectDlg::UserRightsSelectDlg(int currentForecast, int startReceiver, QWidget* parent)
    : QDialog(parent)
    , m_currentForecast(currentForecast)
    , m_startReceiver(startReceiver)
{
    setObjectName(QStringLiteral("id215"));
    m_forecasts = Named(new QComboBox(this), 1018);
    m_tree = Named(new CTreeCtrlX(this), 1070);
    m_tree->setHeaderHidden(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_forecasts);
    layout->addWidget(m_tree, 1);
    layout->addWidget(OkCancelButtons(this));
    resize(400, 450);
    connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_filling)
            OnItemChanged(item);
    });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
    connect(m_forecasts, &QComboBox::activated, this, [this] {
        const auto root = GetForecastRootReceiver(SelectedForecast());
        m_startReceiver = root ? root->id : -1;
        FillTree();
    });
}

int UserRightsSelectDlg::SelectedForecast() const
{
    return m_forecasts->currentIndex() >= 0 ? m_forecasts->currentData().toInt() : -1;
}

int UserRightsSelectDlg::DoModal()
{
    const auto forecasts = LoadForecasts(SqlFilter(QStringLiteral("1=1"), {}, QStringLiteral("year desc")));
    for (const CForecastRecord& f : forecasts.value_or(CForecastList()))
        m_forecasts->addItem(QStringLiteral("%1 (%2 год) %3").arg(f.name).arg(f.year).arg(f.ownerName), f.id);
    m_forecasts->setCurrentIndex(m_forecasts->findData(m_currentForecast));
    FillTree();
    return ExecModal(*this);
}

void UserRightsSelectDlg::FillTree()
{
    m_filling = true;
    m_tree->clear();
    const int forecast = SelectedForecast();
    const auto receivers = LoadForecastTreeReceivers(forecast);
    if (m_startReceiver < 1) {
        const auto root = GetForecastRootReceiver(forecast);
        m_startReceiver = root ? root->id : -1;
    }
    std::map<int, std::vector<const CReceiverRecord*>> children;
    const CReceiverRecord* start = nullptr;
    if (receivers) {
        for (const CReceiverRecord& r : *receivers) {
            children[r.category].push_back(&r);
            if (r.id == m_startReceiver)
                start = &r;
        }
    }
    for (auto& [parent, list] : children)
        std::stable_sort(list.begin(), list.end(), [](auto* a, auto* b) {
            return std::pair(a->position, a->id) < std::pair(b->position, b->id);
        });
    if (start) {
        std::vector<const CReceiverRecord*> top = children[start->category];
        if (start->category == 0 && !top.empty())
            top.resize(1);
        std::set<int> placed; // a category chain that comes round is not followed twice
        std::function<void(QTreeWidgetItem*, const CReceiverRecord*)> add = [&](QTreeWidgetItem* parent,
                                                                                const CReceiverRecord* r) {
            if (!placed.insert(r->id).second)
                return;
            auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
            item->setText(0, r->name);
            CTreeCtrlX::SetItemData(item, r->id);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, pairs.count({r->id, forecast}) ? Qt::Checked : Qt::Unchecked);
            if (r->isgroup)
                item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
            const auto it = children.find(r->id);
            if (it != children.end())
                for (const CReceiverRecord* c : it->second)
                    add(item, c);
        };
        for (const CReceiverRecord* r : top)
            add(nullptr, r);
    }
    m_tree->expandToDepth(0);
    m_filling = false;
}

void UserRightsSelectDlg::OnItemChanged(QTreeWidgetItem* item)
{
    const int forecast = SelectedForecast();
    const Qt::CheckState state = item->checkState(0);
    m_filling = true;
    std::function<void(QTreeWidgetItem*)> apply = [&](QTreeWidgetItem* i) {
        i->setCheckState(0, state);
        const Pair pair{CTreeCtrlX::ItemData(i), forecast};
        if (state == Qt::Checked)
            pairs.insert(pair);
        else
            pairs.erase(pair);
        for (int c = 0; c < i->childCount(); ++c)
            apply(i->child(c));
    };
    apply(item);
    m_filling = false;
}

// ---- the users

CUsersDlg::CUsersDlg(const CSessionState& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("id180"));
    setWindowTitle(kUsersCaption);
    m_list = Named(new QTreeWidget(this), 1125);
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels({QStringLiteral("Учетная запись"), QStringLiteral("Роли")});
    m_list->header()->resizeSection(0, 150);
    m_list->header()->resizeSection(1, 150);
    auto* column = new QVBoxLayout;
    const struct {
        int id;
        const char16_t* text;
    } buttons[] = {{ID_NEW, u"Новый"},       {ID_EDIT, u"Редактировать"}, {ID_DELETE, u"Удалить"},
                   {ID_PASSWORD, u"Пароль"}, {ID_RIGHTS, u"Свойства"},    {2, u"Закрыть"}};
    for (const auto& b : buttons) {
        auto* button = Named(new QPushButton(QString::fromUtf16(b.text), this), b.id);
        column->addWidget(button);
        if (b.id == 2)
            connect(button, &QPushButton::clicked, this, &QDialog::reject);
    }
    column->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(column);
    resize(520, 320);
    connect(button(ID_NEW), &QPushButton::clicked, this, [this] { OnEdit(true); });
    connect(button(ID_EDIT), &QPushButton::clicked, this, [this] { OnEdit(false); });
    connect(button(ID_DELETE), &QPushButton::clicked, this, &CUsersDlg::OnDelete);
    connect(button(ID_PASSWORD), &QPushButton::clicked, this, &CUsersDlg::OnPassword);
    connect(button(ID_RIGHTS), &QPushButton::clicked, this, &CUsersDlg::OnRights);
    connect(m_list, &QTreeWidget::itemActivated, this, [this] { OnEdit(false); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CUsersDlg::UpdateButtons);
}

QPushButton* CUsersDlg::button(int id) const
{
    return findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
}

int CUsersDlg::DoModal()
{
    if (!ShowResult(CheckUsersSupported()))
        return QDialog::Rejected;
    Fill();
    return ExecModal(*this);
}

void CUsersDlg::WriteRow(QTreeWidgetItem* item, const CSystemUserRecord& user)
{
    item->setText(0, user.userID);
    item->setText(1, UserRolesText(user.userRoles));
    item->setData(0, Qt::UserRole, user.id);
    item->setData(0, kRolesRole, user.userRoles);
}

void CUsersDlg::Fill()
{
    m_list->clear();
    for (const CSystemUserRecord& u : LoadSystemUsers().value_or(CSystemUserList()))
        WriteRow(new QTreeWidgetItem(m_list), u);
    UpdateButtons();
}

void CUsersDlg::UpdateButtons()
{
    const QTreeWidgetItem* item = m_list->currentItem();
    const bool selected = item && item->isSelected();
    const QString login = selected ? item->text(0) : QString();
    const int roles = selected ? item->data(0, kRolesRole).toInt() : 0;
    bool otherAdmin = false;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* other = m_list->topLevelItem(i);
        if (other != item && (other->data(0, kRolesRole).toInt() & ROLE_ADMIN))
            otherAdmin = true;
    }
    button(ID_EDIT)->setEnabled(selected);
    button(ID_DELETE)->setEnabled(selected && !SameLogin(login, m_session.userName)
                                  && (!(roles & ROLE_ADMIN) || otherAdmin));
    button(ID_RIGHTS)->setEnabled(selected && (roles & ROLE_USER));
    button(ID_PASSWORD)->setEnabled(selected && !IsExternalAccount(login));
}

std::optional<CSystemUserRecord> CUsersDlg::SelectedUser() const
{
    const QTreeWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    return GetSystemUser(item->data(0, Qt::UserRole).toInt());
}

void CUsersDlg::OnEdit(bool isNew)
{
    CSystemUserRecord user;
    if (!isNew) {
        auto stored = SelectedUser();
        if (!stored)
            return;
        user = *stored;
    }
    CUserEditDlg dlg(user, this);
    if (ExecModal(dlg) != QDialog::Accepted)
        return;
    if (!isNew && SameLogin(dlg.login, m_session.userName))
        AppMessageBox(kRestartNotice, MB_ICONINFORMATION, this);
    user.userID = dlg.login;
    user.userRoles = dlg.roles;
    if (!ShowResult(SaveSystemUser(user, dlg.password)))
        return;
    QTreeWidgetItem* item = isNew ? new QTreeWidgetItem(m_list) : m_list->currentItem();
    WriteRow(item, user);
    UpdateButtons();
}

void CUsersDlg::OnDelete()
{
    if (AppMessageBox(kDeleteQuestion, MB_YESNO | MB_ICONQUESTION, this) != IDYES)
        return;
    auto user = SelectedUser();
    if (!user || !ShowResult(DeleteSystemUser(*user))) {
        AppMessageBox(kDeleteFailed, MB_ICONSTOP, this);
        return;
    }
    delete m_list->currentItem();
    UpdateButtons();
}

void CUsersDlg::OnPassword()
{
    auto user = SelectedUser();
    if (!user || user->id < 1)
        return;
    CUserPasswordDlg dlg(this);
    if (ExecModal(dlg) != QDialog::Accepted)
        return;
    ShowResult(SaveSystemUser(*user, dlg.password));
}

void CUsersDlg::OnRights()
{
    auto user = SelectedUser();
    if (!user)
        return;
    UserRightsSelectDlg dlg(m_session.currentForecastId, m_session.ownReceiverId, this);
    for (const CUserRightRecord& r : user->rights)
        dlg.pairs.insert({r.receiverID, r.forecastID});
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    user->rights.clear();
    for (const auto& [receiver, forecast] : dlg.pairs) {
        CUserRightRecord right;
        right.userID = user->id;
        right.receiverID = receiver;
        right.forecastID = forecast;
        user->rights.push_back(right);
    }
    ShowResult(SaveSystemUser(*user, QString()));
}
