// Shared by the exchange tests: the schemas in the test's program folder, the peers that judge the
// documents (xmllint and Python's xml.etree) and sample records.
#pragma once

#include "TestSupport.h"

#include "tables/TotalForecasts.h"

#include <QJsonObject>

// Copies the schemas the build put beside the program into `home`.
void CopySchemas(const QString& home);
// The folder under build/test-out where a test leaves its files for a look from outside.
QString TestOutFolder(const QString& name);

// xmllint --noout --nonet --schema: 0 and "validates", or 3 for a document the schema refuses.
PeerRun Xmllint(const QString& schema, const QString& file);
#define REQUIRE_XMLLINT()                                                                                              \
    do {                                                                                                               \
        if (!HaveProgram(QStringLiteral("xmllint")))                                                                   \
            GTEST_SKIP() << "xmllint is not installed";                                                                \
    } while (0)

// The file as Python's xml.etree reads it: {tag, attrib: [[name, value]...], text, children}.
QJsonObject PythonTree(const QString& file);
QStringList ChildTags(const QJsonObject& element);
QString ChildText(const QJsonObject& element, const QString& tag);

// Two consolidated rows of forecast 3; the first holds 1234.5 in sumLast and `base` in base.
CTotalForecastList SampleTotals(const QString& base = QString());
