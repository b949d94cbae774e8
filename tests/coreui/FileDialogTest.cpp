#include "ModalHook.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <functional>

#include <unistd.h>

namespace {

// The lines of /proc/locks that this process holds: the kernel's view of SQLite's locks.
int HeldLocks()
{
    QFile file(QStringLiteral("/proc/locks"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray pid = ' ' + QByteArray::number(::getpid()) + ' ';
    int count = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        count += line.contains(pid) ? 1 : 0;
    return count;
}

} // namespace

// Every kind of file dialog, shown on the folder of a live database until the folder is listed,
// then cancelled, leaves SQLite's locks held; so does a file dialog that Qt opens by itself.
TEST(FileDialogs, ListingTheDatabaseFolderKeepsItsLocks)
{
    if (HeldLocks() < 0)
        GTEST_SKIP() << "/proc/locks cannot be read";
    GuardFileDialogs();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locked"));
        db.setDatabaseName(folder + QStringLiteral("/LIR.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("pragma journal_mode=wal")));
        ASSERT_TRUE(q.exec(QStringLiteral("create table t (x int)")));
        ASSERT_TRUE(q.exec(QStringLiteral("insert into t values (1)")));
        QFile::copy(folder + QStringLiteral("/LIR.db"), folder + QStringLiteral("/LIRR.db"));
        const int before = HeldLocks();
        ASSERT_GT(before, 0);

        const struct {
            const char* kind;
            std::function<void()> open;
            bool listsFiles;
        } cases[] = {
            {"open, XML files", [&] { ModalHook().getOpenFileName(nullptr, "", folder, "*.xml"); }, false},
            {"open", [&] { ModalHook().getOpenFileName(nullptr, "", folder, ""); }, true},
            {"open several", [&] { ModalHook().getOpenFileNames(nullptr, "", folder, ""); }, true},
            {"save", [&] { ModalHook().getSaveFileName(nullptr, "", folder + "/Import.xml", "", "xml"); }, true},
            {"folder", [&] { ModalHook().getExistingDirectory(nullptr, "", folder); }, false},
            {"Qt's own",
             [&] { QFileDialog::getOpenFileName(nullptr, "", folder, "", nullptr, QFileDialog::DontUseNativeDialog); },
             true},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.kind);
            int during = -1;
            bool listed = false;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                ASSERT_NE(dialog, nullptr);
                auto* model = dialog->findChild<QFileSystemModel*>();
                ASSERT_NE(model, nullptr);
                // Long enough for the model's thread to list the folder and look at every file.
                static_cast<void>(QTest::qWaitFor([&] { return model->rowCount(model->index(folder)) >= 2; }, 10000));
                QTest::qWait(300);
                listed = model->index(folder + QStringLiteral("/LIR.db")).isValid();
                during = HeldLocks();
                dialog->reject();
            });
            c.open();
            QTest::qWait(100);
            EXPECT_EQ(during, before);
            EXPECT_EQ(HeldLocks(), before);
            if (c.listsFiles) {
                EXPECT_TRUE(listed);
            }
        }
        // Another reader of the file afterwards still sees a database in use.
        EXPECT_TRUE(q.exec(QStringLiteral("insert into t values (2)")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locked"));
}
