// Unicode lower(), upper() and a case-insensitive like for SQLite connections, so that Cyrillic
// names compare without regard to case as they do on the server.
#pragma once

class QSqlDatabase;

bool RegisterSqliteFunctions(QSqlDatabase& db);
