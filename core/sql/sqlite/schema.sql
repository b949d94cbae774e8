-- Schema version 36, SQLite form.
-- Batches are separated by lines holding only GO; each batch is one statement.
-- Money columns hold ten-thousandths as INTEGER; six-decimal values are REAL;
-- dates are local wall-time text 'yyyy-MM-dd HH:mm:ss'.
-- "id INTEGER PRIMARY KEY" is a rowid alias: an insert without an id gets the
-- largest id + 1 (1 in an empty table). Key columns that must not be numbered
-- by the database are declared INT, which is not a rowid alias.
-- Connections must run with PRAGMA foreign_keys = ON.

CREATE TABLE tFctPrognoz (
    name TEXT NULL CHECK (length(name) <= 255),
    year INTEGER NULL,
    status INTEGER NOT NULL DEFAULT 0
        CONSTRAINT CK__tFctProgn__statu__07020F21 CHECK (status IN (0, 1, 2)),
    owner INTEGER NULL,
    ownername TEXT NULL CHECK (length(ownername) <= 255),
    id INTEGER NOT NULL CONSTRAINT PK_tFctPrognoz PRIMARY KEY
)
GO

CREATE TABLE tClsMeasurement (
    name TEXT NULL CHECK (length(name) <= 255),
    type INTEGER NULL,
    code TEXT NULL CHECK (length(code) <= 255),
    oboznachenie TEXT NULL CHECK (length(oboznachenie) <= 255),
    id INTEGER NOT NULL CONSTRAINT PK_tClsMeasurement PRIMARY KEY
)
GO

CREATE TABLE tClsReceiver (
    id INTEGER NOT NULL CONSTRAINT PK_tClsReceiver PRIMARY KEY,
    category INTEGER NULL,
    name TEXT NULL CHECK (length(name) <= 255),
    email TEXT NULL CHECK (length(email) <= 255),
    position INTEGER NULL,
    importedId INTEGER NOT NULL,
    type INTEGER NULL,
    isgroup INTEGER NOT NULL
)
GO

CREATE INDEX IX_tClsReceiver ON tClsReceiver (category)
GO

CREATE TABLE tClsImportEventType (
    id INT NOT NULL CONSTRAINT PK_tClsImportEventType PRIMARY KEY,
    name TEXT NULL CHECK (length(name) <= 50)
)
GO

-- The id is numbered over the whole table (all forecasts) by product_insert;
-- it stays nullable only so that the AFTER trigger can fill it in.
CREATE TABLE tClsProduct (
    prognoz INTEGER NOT NULL,
    parent INTEGER NULL,
    measurementNatural INTEGER NULL,
    measurementPrice INTEGER NULL,
    name TEXT NULL CHECK (length(name) <= 255),
    position INTEGER NULL,
    comment TEXT NULL CHECK (length(comment) <= 255),
    offsetMin REAL NULL,
    offsetMax REAL NULL,
    type INTEGER NULL,
    isgroup INTEGER NOT NULL,
    balanceTitle TEXT NULL CHECK (length(balanceTitle) <= 255),
    code TEXT NULL CHECK (length(code) <= 255),
    measurementNatural2 INTEGER NULL,
    measurementPrice2 INTEGER NULL,
    avRep REAL NULL DEFAULT 0,
    avCur REAL NULL DEFAULT 0,
    avProg REAL NULL DEFAULT 0,
    priceIdx REAL NULL DEFAULT 0,
    id INTEGER NULL,
    CONSTRAINT PK_tClsProduct PRIMARY KEY (prognoz, id),
    CONSTRAINT FK_tClsProduct_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE CASCADE,
    CONSTRAINT FK_tClsProduct_tClsMeasurement FOREIGN KEY (measurementNatural)
        REFERENCES tClsMeasurement (id) ON DELETE NO ACTION,
    CONSTRAINT FK_tClsProduct_tClsMeasurement1 FOREIGN KEY (measurementPrice)
        REFERENCES tClsMeasurement (id) ON DELETE NO ACTION,
    CONSTRAINT FK_tClsProduct_tClsMeasurement2 FOREIGN KEY (measurementNatural2)
        REFERENCES tClsMeasurement (id) ON DELETE NO ACTION,
    CONSTRAINT FK_tClsProduct_tClsMeasurement3 FOREIGN KEY (measurementPrice2)
        REFERENCES tClsMeasurement (id) ON DELETE NO ACTION
)
GO

CREATE INDEX IX_tClsProduct ON tClsProduct (parent)
GO

CREATE INDEX IX_tClsProduct_Prognoz ON tClsProduct (prognoz)
GO

-- A group's children in a forecast: a classifier of 50,000 products opens its tree by them, and
-- every report line's group test asks for them (without statistics the planner would otherwise
-- take the forecast's index and read the whole forecast for each).
CREATE INDEX IX_tClsProduct_Children ON tClsProduct (prognoz, parent)
GO

CREATE TRIGGER product_insert AFTER INSERT ON tClsProduct
FOR EACH ROW WHEN new.id IS NULL
BEGIN
    UPDATE tClsProduct
       SET id = (SELECT coalesce(max(id), 0) + 1 FROM tClsProduct)
     WHERE rowid = new.rowid;
END
GO

-- Keeps the id NOT NULL once the row is stored.
CREATE TRIGGER product_id_not_null BEFORE UPDATE OF id ON tClsProduct
FOR EACH ROW WHEN new.id IS NULL
BEGIN
    SELECT RAISE(ABORT, 'NOT NULL constraint failed: tClsProduct.id');
END
GO

CREATE TABLE tClsReceiverMap (
    prognoz INTEGER NOT NULL,
    receiver INTEGER NOT NULL,
    subReceiverCount INTEGER NOT NULL DEFAULT 0,
    CONSTRAINT PK_tClsReceiverMap PRIMARY KEY (prognoz, receiver),
    CONSTRAINT FK_tClsReceiverMap_tClsReceiver FOREIGN KEY (receiver)
        REFERENCES tClsReceiver (id) ON DELETE CASCADE,
    CONSTRAINT FK_tClsReceiverMap_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE CASCADE
)
GO

CREATE TABLE tFctPrognozData (
    id INTEGER NOT NULL CONSTRAINT PK_tFctPrognozData PRIMARY KEY,
    prognoz INTEGER NULL,
    product INTEGER NULL,
    receiver INTEGER NULL,
    sumLast INTEGER NULL,
    sumCurr INTEGER NULL,
    sumNext INTEGER NULL,
    valueLast INTEGER NULL,
    valueCurr INTEGER NULL,
    valueNext INTEGER NULL,
    comment TEXT NULL CHECK (length(comment) <= 255),
    base TEXT NULL CHECK (length(base) <= 255),
    baseMethod INTEGER NULL,
    valueNorm INTEGER NULL DEFAULT 0,
    valueIndex INTEGER NULL DEFAULT 0,
    valuePlan INTEGER NULL DEFAULT 0,
    valueFormula INTEGER NULL DEFAULT 0,
    valueOther INTEGER NULL DEFAULT 0,
    sumNorm INTEGER NULL DEFAULT 0,
    sumIndex INTEGER NULL DEFAULT 0,
    sumPlan INTEGER NULL DEFAULT 0,
    sumFormula INTEGER NULL DEFAULT 0,
    sumOther INTEGER NULL DEFAULT 0,
    CONSTRAINT FK_tFctPrognozData_tClsProduct FOREIGN KEY (prognoz, product)
        REFERENCES tClsProduct (prognoz, id) ON DELETE NO ACTION,
    CONSTRAINT FK_tFctPrognozData_tClsReceiver FOREIGN KEY (receiver)
        REFERENCES tClsReceiver (id) ON DELETE CASCADE,
    CONSTRAINT FK_tFctPrognozData_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE CASCADE
)
GO

CREATE UNIQUE INDEX IX_PrognozData ON tFctPrognozData (prognoz, product, receiver)
GO

CREATE TABLE tFctTotalPrognoz (
    id INTEGER NOT NULL CONSTRAINT PK_tFctTotalPrognoz PRIMARY KEY,
    prognoz INTEGER NULL,
    product INTEGER NULL,
    sumLast INTEGER NULL,
    sumCurr INTEGER NULL,
    sumNext INTEGER NULL,
    valueLast INTEGER NULL,
    valueCurr INTEGER NULL,
    valueNext INTEGER NULL,
    lastUpdate TEXT NULL,
    comment TEXT NULL CHECK (length(comment) <= 255),
    base TEXT NULL CHECK (length(base) <= 255),
    baseMethod INTEGER NULL,
    valueNorm INTEGER NOT NULL DEFAULT 0,
    valueIndex INTEGER NOT NULL DEFAULT 0,
    valuePlan INTEGER NOT NULL DEFAULT 0,
    valueFormula INTEGER NOT NULL DEFAULT 0,
    valueOther INTEGER NOT NULL DEFAULT 0,
    sumNorm INTEGER NOT NULL DEFAULT 0,
    sumIndex INTEGER NOT NULL DEFAULT 0,
    sumPlan INTEGER NOT NULL DEFAULT 0,
    sumFormula INTEGER NOT NULL DEFAULT 0,
    sumOther INTEGER NOT NULL DEFAULT 0,
    CONSTRAINT FK_tFctTotalPrognoz_tClsProduct FOREIGN KEY (prognoz, product)
        REFERENCES tClsProduct (prognoz, id) ON DELETE NO ACTION,
    CONSTRAINT FK_tfctTotalPrognoz_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE NO ACTION
)
GO

CREATE UNIQUE INDEX IX_TotalPrognoz ON tFctTotalPrognoz (prognoz, product)
GO

CREATE TABLE tFctPrice (
    id INTEGER NOT NULL CONSTRAINT PK_tFctPrice PRIMARY KEY,
    prognoz INTEGER NULL,
    product INTEGER NULL,
    pricePrev INTEGER NULL,
    priceCur INTEGER NULL,
    priceNext INTEGER NULL,
    CONSTRAINT FK_tFctPrice_tClsProduct FOREIGN KEY (prognoz, product)
        REFERENCES tClsProduct (prognoz, id) ON DELETE NO ACTION,
    CONSTRAINT FK_tFctPrice_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE CASCADE
)
GO

-- A product has one price row in a forecast; the index also spares every product delete a scan of
-- all prices for the key check.
CREATE UNIQUE INDEX IX_tFctPrice ON tFctPrice (prognoz, product)
GO

-- Deleting a receiver cascades by the receiver column alone; without these every such delete (and
-- every receiver's map count) scans the whole table. A receiver's rows of a forecast come by product
-- from the same index (the forecast's index alone would read the whole forecast for each receiver).
CREATE INDEX IX_tFctPrognozData_Receiver ON tFctPrognozData (receiver, prognoz, product)
GO

CREATE INDEX IX_tClsReceiverMap_Receiver ON tClsReceiverMap (receiver)
GO

CREATE TABLE tClsMConvert (
    id INTEGER NOT NULL CONSTRAINT PK_tClsMConvert PRIMARY KEY,
    base INTEGER NULL,
    produce INTEGER NULL,
    koef REAL NULL,
    CONSTRAINT FK_tClsMConvert_tClsMeasurement FOREIGN KEY (base)
        REFERENCES tClsMeasurement (id) ON DELETE NO ACTION,
    CONSTRAINT FK_tClsMConvert_tClsMeasurement1 FOREIGN KEY (produce)
        REFERENCES tClsMeasurement (id) ON DELETE NO ACTION
)
GO

CREATE TABLE tFctImportStatus (
    id INTEGER NOT NULL CONSTRAINT PK_tFctImportStatus PRIMARY KEY,
    prognoz INTEGER NULL,
    receiver INTEGER NULL,
    send TEXT NULL,
    received TEXT NULL,
    comment TEXT NULL CHECK (length(comment) <= 255),
    envelope TEXT NULL CHECK (length(envelope) <= 255),
    event INTEGER NULL,
    CONSTRAINT FK_tFctImportStatus_tClsImportEventType FOREIGN KEY (event)
        REFERENCES tClsImportEventType (id) ON DELETE NO ACTION,
    CONSTRAINT FK_tFctImportStatus_tClsReceiver FOREIGN KEY (receiver)
        REFERENCES tClsReceiver (id) ON DELETE CASCADE,
    CONSTRAINT FK_tFctImportStatus_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE CASCADE
)
GO

-- The exchange journal of one receiver in one forecast.
CREATE INDEX IX_tFctImportStatus ON tFctImportStatus (prognoz, receiver)
GO

-- The event journal's list in the orders it offers (texts by their bytes, NULL first), newest first
-- at the start, each answering a screen of any length without reading the rows before it.
CREATE INDEX IX_tFctImportStatus_Send ON tFctImportStatus (send, id)
GO

CREATE INDEX IX_tFctImportStatus_Received ON tFctImportStatus (received, id)
GO

CREATE INDEX IX_tFctImportStatus_Comment ON tFctImportStatus (comment, id)
GO

-- A receiver's rows: the list filtered by organisation, and the receiver's deletion.
CREATE INDEX IX_tFctImportStatus_Receiver ON tFctImportStatus (receiver)
GO

CREATE TABLE tFctDocumentation (
    prognoz INTEGER NULL,
    name TEXT NULL CHECK (length(name) <= 255),
    position INTEGER NULL,
    filename TEXT NULL CHECK (length(filename) <= 255),
    id INTEGER NOT NULL CONSTRAINT PK_tFctDocumentation PRIMARY KEY,
    CONSTRAINT FK_tFctDocumentation_tFctPrognoz FOREIGN KEY (prognoz)
        REFERENCES tFctPrognoz (id) ON DELETE CASCADE
)
GO

CREATE TABLE tFctMailing (
    id INTEGER NOT NULL CONSTRAINT PK_tFctMailing PRIMARY KEY,
    prognoz INTEGER NOT NULL,
    Subject TEXT NULL CHECK (length(Subject) <= 255),
    Text TEXT NULL CHECK (length(Text) <= 8000),
    MailingDate TEXT NOT NULL
)
GO

-- The mailings book's list by date and by subject.
CREATE INDEX IX_tFctMailing_Date ON tFctMailing (prognoz, MailingDate, id)
GO

CREATE INDEX IX_tFctMailing_Subject ON tFctMailing (prognoz, Subject, id)
GO

CREATE TABLE tFctMailingReceivers (
    id INTEGER NOT NULL CONSTRAINT PK_tFctMailingReceivers PRIMARY KEY,
    MailingID INTEGER NOT NULL,
    ReceiverID INTEGER NOT NULL,
    CONSTRAINT FK_tFctMailingReceivers_tFctMailing FOREIGN KEY (MailingID)
        REFERENCES tFctMailing (id) ON DELETE CASCADE
)
GO

-- The receivers of one mailing: its save asks for each, its deletion cascades to them.
CREATE INDEX IX_tFctMailingReceivers ON tFctMailingReceivers (MailingID, ReceiverID)
GO

-- A file database knows no login: the program binds the OS login to UserID.
CREATE TABLE tFctOpJournal (
    id INTEGER NOT NULL CONSTRAINT PK_tFctOpJournal PRIMARY KEY,
    UserID TEXT NOT NULL DEFAULT '' CHECK (length(UserID) <= 255),
    Date TEXT NOT NULL DEFAULT (datetime('now', 'localtime')),
    Text TEXT NOT NULL CHECK (length(Text) <= 7000),
    Type INTEGER NOT NULL DEFAULT 0
)
GO

-- The event journal's lists of one type of line, in line order and by date.
CREATE INDEX IX_tFctOpJournal_Type ON tFctOpJournal (Type, id)
GO

CREATE INDEX IX_tFctOpJournal_Date ON tFctOpJournal (Type, Date, id)
GO

CREATE TABLE tFctUserRights (
    id INTEGER NOT NULL CONSTRAINT PK_tFctUserRights PRIMARY KEY,
    UserSID BLOB NOT NULL CHECK (length(UserSID) <= 85),
    ForecastID INTEGER NOT NULL,
    ReceiverID INTEGER NOT NULL,
    CONSTRAINT FK_tFctUserRights_tClsReceiver FOREIGN KEY (ReceiverID)
        REFERENCES tClsReceiver (id) ON DELETE NO ACTION,
    CONSTRAINT FK_tFctUserRights_tFctPrognoz FOREIGN KEY (ForecastID)
        REFERENCES tFctPrognoz (id) ON DELETE NO ACTION
)
GO

CREATE INDEX IX_tFctUserRights ON tFctUserRights (UserSID, ForecastID, ReceiverID)
GO

CREATE TABLE tFctOldImportMap (
    entity INTEGER NULL,
    oldID INTEGER NULL,
    newID INTEGER NULL
)
GO

CREATE TABLE tSysDbVersion (
    n INT NOT NULL,
    created TEXT NOT NULL DEFAULT (datetime('now', 'localtime'))
)
GO

CREATE TABLE tSvcIdentifiers (
    id INT NOT NULL CONSTRAINT PK_tSvcIdentifiers PRIMARY KEY
)
GO

CREATE TABLE tFctFaq (
    id INTEGER NULL,
    askPerson TEXT NULL CHECK (length(askPerson) <= 50),
    askDate TEXT NULL,
    question TEXT NULL CHECK (length(question) <= 100),
    answerDate TEXT NULL,
    answer TEXT NULL,
    private INTEGER NULL
)
GO

CREATE TABLE tFctNews (
    id INTEGER NULL,
    created TEXT NULL,
    title TEXT NULL CHECK (length(title) <= 100),
    text TEXT NULL,
    published TEXT NULL
)
GO

-- A file database has no logins: both views keep the server's columns and
-- return no rows.
CREATE VIEW v_SystemUser AS
SELECT CAST(NULL AS INTEGER) AS id,
       CAST(NULL AS TEXT) AS userID,
       CAST(NULL AS INTEGER) AS userRoles,
       CAST(NULL AS TEXT) AS userPassword,
       CAST(NULL AS BLOB) AS SID
 WHERE 0
GO

CREATE VIEW v_UserRights AS
SELECT u.id AS id,
       u.UserSID AS UserSID,
       u.ForecastID AS ForecastID,
       u.ReceiverID AS ReceiverID,
       CAST(NULL AS INTEGER) AS UserID,
       CAST(NULL AS TEXT) AS UID
  FROM tFctUserRights u
 WHERE 0
GO

-- Lets the program's deletes through the view run; they match no row.
CREATE TRIGGER T_v_UserRights_DELETE INSTEAD OF DELETE ON v_UserRights
FOR EACH ROW
BEGIN
    DELETE FROM tFctUserRights WHERE id = old.id;
END
GO

INSERT INTO tSysDbVersion (n) VALUES (36)
GO
