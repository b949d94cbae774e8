#include "ExchangeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

void CopySchemas(const QString& home)
{
    // The exchange's schemas; the report definitions' schema lies beside them.
    const QStringList schemas{QStringLiteral("comment.xsd"), QStringLiteral("forecast.xsd"),
                              QStringLiteral("forecastEnvelope.xsd"), QStringLiteral("infoEnvelope.xsd"),
                              QStringLiteral("lir.xsd")};
    for (const QString& name : schemas)
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + name, home + name))
            << "the build puts " << name.toStdString() << " into " LIR_BIN_DIR;
}

QString TestOutFolder(const QString& name)
{
    const QString folder = QStringLiteral(LIR_TEST_OUT_DIR "/") + name + u'/';
    QDir().mkpath(folder);
    return folder;
}

PeerRun Xmllint(const QString& schema, const QString& file)
{
    return RunPeer(QStringLiteral("xmllint"),
                   {QStringLiteral("--noout"), QStringLiteral("--nonet"), QStringLiteral("--schema"), schema, file});
}

QJsonObject PythonTree(const QString& file)
{
    const PeerRun run =
        RunPeer(QStringLiteral("/usr/bin/python3"), {QStringLiteral(LIR_TEST_SOURCE_DIR "/xml_tree.py"), file});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return QJsonDocument::fromJson(run.output.toUtf8()).object();
}

QStringList ChildTags(const QJsonObject& element)
{
    QStringList tags;
    for (const auto& child : element[QStringLiteral("children")].toArray())
        tags << child.toObject()[QStringLiteral("tag")].toString();
    return tags;
}

QString ChildText(const QJsonObject& element, const QString& tag)
{
    for (const auto& child : element[QStringLiteral("children")].toArray())
        if (child.toObject()[QStringLiteral("tag")].toString() == tag)
            return child.toObject()[QStringLiteral("text")].toString();
    return QStringLiteral("<missing>");
}

CTotalForecastList SampleTotals(const QString& base)
{
    CTotalForecastRecord first;
    first.id = 11;
    first.prognoz = 3;
    first.product = 40;
    first.sumLast = Money::fromXmlText(QStringLiteral("1234.5"));
    first.valueNorm = Money::fromXmlText(QStringLiteral("-0.0001"));
    first.sumOther = Money::fromXmlText(QStringLiteral("922337203685477.5807"));
    first.base = base;
    first.baseMethod = 2;
    first.comment = QStringLiteral("не пишется");
    CTotalForecastRecord second;
    second.id = 12;
    second.prognoz = 3;
    second.product = 41;
    second.sumNext = Money::fromXmlText(QStringLiteral("7"));
    return {first, second};
}
