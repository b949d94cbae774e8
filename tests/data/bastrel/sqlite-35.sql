-- A database file of version 35: the present table names, but no symbols of units, no split next
-- year figures and no mailings. A product without a code keeps its name whatever the version.
CREATE TABLE tClsImportEventType (id INT NOT NULL PRIMARY KEY, name TEXT NULL);
CREATE TABLE tSysDbVersion (n INT NOT NULL, created TEXT NULL);
CREATE TABLE tFctPrognoz (name TEXT NULL, year INTEGER NULL, status INTEGER NOT NULL DEFAULT 0, owner INTEGER NULL,
    ownername TEXT NULL, id INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE tClsMeasurement (name TEXT NULL, type INTEGER NULL, code TEXT NULL, id INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE tClsReceiver (id INTEGER NOT NULL PRIMARY KEY, category INTEGER NULL, name TEXT NULL, email TEXT NULL,
    position INTEGER NULL, importedId INTEGER NOT NULL, type INTEGER NULL, isgroup INTEGER NOT NULL);
CREATE TABLE tClsProduct (prognoz INTEGER NOT NULL, parent INTEGER NULL, measurementNatural INTEGER NULL,
    measurementPrice INTEGER NULL, name TEXT NULL, position INTEGER NULL, comment TEXT NULL, offsetMin REAL NULL,
    offsetMax REAL NULL, type INTEGER NULL, isgroup INTEGER NOT NULL, balanceTitle TEXT NULL, code TEXT NULL,
    measurementNatural2 INTEGER NULL, measurementPrice2 INTEGER NULL, id INTEGER NULL, PRIMARY KEY (prognoz, id));
CREATE TABLE tClsReceiverMap (prognoz INTEGER NOT NULL, receiver INTEGER NOT NULL,
    subReceiverCount INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (prognoz, receiver));
CREATE TABLE tFctPrognozData (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, product INTEGER NULL,
    receiver INTEGER NULL, sumLast INTEGER NULL, sumCurr INTEGER NULL, sumNext INTEGER NULL, valueLast INTEGER NULL,
    valueCurr INTEGER NULL, valueNext INTEGER NULL, comment TEXT NULL, base TEXT NULL, baseMethod INTEGER NULL);
CREATE TABLE tFctTotalPrognoz (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, product INTEGER NULL,
    sumLast INTEGER NULL, sumCurr INTEGER NULL, sumNext INTEGER NULL, valueLast INTEGER NULL, valueCurr INTEGER NULL,
    valueNext INTEGER NULL, lastUpdate TEXT NULL, comment TEXT NULL, base TEXT NULL, baseMethod INTEGER NULL);
CREATE TABLE tFctPrice (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, product INTEGER NULL,
    pricePrev INTEGER NULL, priceCur INTEGER NULL, priceNext INTEGER NULL);
CREATE TABLE tClsMConvert (id INTEGER NOT NULL PRIMARY KEY, base INTEGER NULL, produce INTEGER NULL, koef REAL NULL);
CREATE TABLE tFctImportStatus (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, receiver INTEGER NULL,
    send TEXT NULL, received TEXT NULL, comment TEXT NULL, envelope TEXT NULL, event INTEGER NULL);
CREATE TABLE tFctDocumentation (prognoz INTEGER NULL, name TEXT NULL, position INTEGER NULL, filename TEXT NULL,
    id INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE tFctOldImportMap (entity INTEGER NULL, oldID INTEGER NULL, newID INTEGER NULL);
CREATE TABLE tFctOpJournal (id INTEGER NOT NULL PRIMARY KEY, UserID TEXT NOT NULL DEFAULT '', Date TEXT NOT NULL,
    Text TEXT NOT NULL, Type INTEGER NOT NULL DEFAULT 0);
CREATE TABLE tFctUserRights (id INTEGER NOT NULL PRIMARY KEY, UserSID BLOB NOT NULL, ForecastID INTEGER NOT NULL,
    ReceiverID INTEGER NOT NULL, Note TEXT NULL);

INSERT INTO tSysDbVersion (n, created) VALUES (35, '2010-01-01 00:00:00');
INSERT INTO tFctPrognoz (id, name, year, status, owner, ownername) VALUES (1, 'Прогноз на 2011 год', 2011, 0, 1, 'Министерство');
INSERT INTO tClsMeasurement (id, name, type, code) VALUES (1, 'Штука', 1, '796'), (2, 'Рубль', 2, '383');
INSERT INTO tClsReceiver (id, category, name, importedId, type, isgroup) VALUES (1, 0, 'Министерство', 0, 0, 1);
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 1, 0);
INSERT INTO tClsProduct (prognoz, id, parent, measurementNatural, measurementPrice, name, position, offsetMin,
    offsetMax, type, isgroup, code) VALUES
    (1, 1, 0, NULL, 2, 'Продукция', 1, 0, 0, 64, 1, NULL),
    (1, 2, 1, 1, 2, '010 Станки токарные', 1, 0.5, 2, 0, 0, NULL);
INSERT INTO tFctPrice (id, prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 1, 1, 0, 0, 0), (2, 1, 2, 50000, 60000, 70000);
INSERT INTO tFctOpJournal (id, UserID, Date, Text, Type) VALUES (1, 'ivanov', '2010-02-01 09:00:00', 'Вход в программу', 0);
INSERT INTO tFctUserRights (id, UserSID, ForecastID, ReceiverID, Note) VALUES (1, X'616C696365', 1, 1, 'старое поле');
