-- The report database LIRR.db: one header row per report run and the rows of every form, told apart
-- by the run's report id. SQLite; batches are separated by lines holding only GO.
-- Money, quantities, averages, percentages and shares are INTEGER ten-thousandths; unit ids are
-- signed (-1: none). Texts carry no length limit: some forms write indented names whole.
-- seq (reportform2, reportform4) is the order in which a run began its rows.

CREATE TABLE report (
    id INTEGER PRIMARY KEY AUTOINCREMENT
)
GO

CREATE TABLE reportform1 (
    report INTEGER NOT NULL,
    name TEXT NULL,
    code TEXT NULL,
    measurementNatural TEXT NULL,
    measurementNaturalId INTEGER NULL,
    measurementPrice TEXT NULL,
    measurementPriceId INTEGER NULL,
    isMeasurementNatural INTEGER NULL,
    sumCurr INTEGER NULL,
    sumLast INTEGER NULL,
    sumNext INTEGER NULL,
    valueCurr INTEGER NULL,
    valueLast INTEGER NULL,
    valueNext INTEGER NULL
)
GO

CREATE INDEX IX_reportform1_report ON reportform1 (report)
GO

CREATE TABLE reportform2 (
    report INTEGER NOT NULL,
    seq INTEGER NULL,
    name TEXT NULL,
    type INTEGER NULL,
    sumLast INTEGER NULL,
    sumCurr INTEGER NULL,
    sumNext INTEGER NULL,
    valueLast INTEGER NULL,
    valueCurr INTEGER NULL,
    valueNext INTEGER NULL,
    avgLast INTEGER NULL,
    avgCurr INTEGER NULL,
    avgNext INTEGER NULL
)
GO

CREATE INDEX IX_reportform2_report ON reportform2 (report, seq)
GO

CREATE TABLE reportform3 (
    report INTEGER NOT NULL,
    name TEXT NULL,
    code TEXT NULL,
    measurementNatural TEXT NULL,
    measurementPrice TEXT NULL,
    isMeasurementNatural INTEGER NULL,
    valPrognoz INTEGER NULL,
    valMethodNorm INTEGER NULL,
    valMethodIndex INTEGER NULL,
    valMethodPlan INTEGER NULL,
    valMethodForm INTEGER NULL,
    valMethodOther INTEGER NULL,
    sumPrognoz INTEGER NULL,
    sumMethodNorm INTEGER NULL,
    sumMethodIndex INTEGER NULL,
    sumMethodPlan INTEGER NULL,
    sumMethodForm INTEGER NULL,
    sumMethodOther INTEGER NULL
)
GO

CREATE INDEX IX_reportform3_report ON reportform3 (report)
GO

CREATE TABLE reportform4 (
    report INTEGER NOT NULL,
    seq INTEGER NULL,
    name TEXT NULL,
    sumLast INTEGER NULL,
    sumCurr INTEGER NULL,
    sumNext INTEGER NULL
)
GO

CREATE INDEX IX_reportform4_report ON reportform4 (report, seq)
GO

CREATE TABLE reportform5 (
    report INTEGER NOT NULL,
    name TEXT NULL,
    measurementNatural TEXT NULL,
    measurementNaturalId INTEGER NULL,
    measurementPrice TEXT NULL,
    measurementPriceId INTEGER NULL,
    isMeasurementNatural INTEGER NULL,
    sumCurr INTEGER NULL,
    sumLast INTEGER NULL,
    sumNext INTEGER NULL,
    valueCurr INTEGER NULL,
    valueLast INTEGER NULL,
    valueNext INTEGER NULL,
    avgLast INTEGER NULL,
    avgCurr INTEGER NULL,
    avgNext INTEGER NULL,
    percentValueFromLastTillCurr INTEGER NULL,
    percentValueFromCurrTillNext INTEGER NULL,
    percentSumFromLastTillCurr INTEGER NULL,
    percentSumFromCurrTillNext INTEGER NULL
)
GO

CREATE INDEX IX_reportform5_report ON reportform5 (report)
GO

CREATE TABLE reportform6 (
    report INTEGER NOT NULL,
    name TEXT NULL,
    code TEXT NULL,
    measurementNatural TEXT NULL,
    measurementNaturalId INTEGER NULL,
    measurementPrice TEXT NULL,
    measurementPriceId INTEGER NULL,
    isMeasurementNatural INTEGER NULL,
    sumCurr INTEGER NULL,
    sumLast INTEGER NULL,
    sumNext INTEGER NULL,
    valueCurr INTEGER NULL,
    valueLast INTEGER NULL,
    valueNext INTEGER NULL,
    ratioLast INTEGER NULL,
    ratioCurr INTEGER NULL,
    ratioNext INTEGER NULL
)
GO

CREATE INDEX IX_reportform6_report ON reportform6 (report)
GO

CREATE TABLE reportform7 (
    report INTEGER NOT NULL,
    Organization TEXT NULL,
    Quantity INTEGER NULL
)
GO

CREATE INDEX IX_reportform7_report ON reportform7 (report)
GO

CREATE TABLE reportform8 (
    report INTEGER NOT NULL,
    receiverId INTEGER NULL,
    Name TEXT NULL,
    ReceiverPId INTEGER NULL,
    ReceiverIsGroup INTEGER NULL,
    "Group" TEXT NULL,
    measurementNatural TEXT NULL,
    measurementNaturalId INTEGER NULL,
    measurementPrice TEXT NULL,
    measurementPriceId INTEGER NULL,
    isMeasurementNatural INTEGER NULL,
    sumReport INTEGER NULL,
    sumEstimate INTEGER NULL,
    sumForecast INTEGER NULL,
    valueReport INTEGER NULL,
    valueEstimate INTEGER NULL,
    valueForecast INTEGER NULL,
    ProductId INTEGER NULL,
    ProductPId INTEGER NULL
)
GO

CREATE INDEX IX_reportform8_report ON reportform8 (report, ReceiverPId)
GO

CREATE TABLE ReportForm9 (
    report INTEGER NOT NULL,
    "group" TEXT NULL,
    Name TEXT NULL,
    measurementNatural TEXT NULL,
    measurementPrice TEXT NULL,
    isMeasurementNatural INTEGER NULL,
    sumReport1 INTEGER NULL,
    sumEstimate1 INTEGER NULL,
    sumForecast1 INTEGER NULL,
    valueReport1 INTEGER NULL,
    valueEstimate1 INTEGER NULL,
    valueForecast1 INTEGER NULL,
    sumReport2 INTEGER NULL,
    sumEstimate2 INTEGER NULL,
    sumForecast2 INTEGER NULL,
    valueReport2 INTEGER NULL,
    valueEstimate2 INTEGER NULL,
    valueForecast2 INTEGER NULL
)
GO

CREATE INDEX IX_ReportForm9_report ON ReportForm9 (report)
GO

CREATE TABLE Product (
    name TEXT NULL,
    code TEXT NULL,
    parent INTEGER NULL,
    measurementNatural TEXT NULL,
    measurementPrice TEXT NULL,
    report_id INTEGER NOT NULL,
    position INTEGER NULL
)
GO

CREATE INDEX IX_Product_report_id ON Product (report_id, position)
GO
