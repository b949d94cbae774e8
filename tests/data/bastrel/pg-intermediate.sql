-- A server database between the first generation and schema 36: the tables bear their present
-- names, some later columns and tables are missing, the ids are plain integers. Version 30. One
-- product names a unit that does not exist: the key to the units cannot be made.
CREATE TABLE tClsImportEventType (id int NOT NULL, name varchar(50) NULL);
CREATE TABLE tSysDbVersion (n int NOT NULL);
CREATE TABLE tFctPrognoz (name varchar(255) NULL, year int NULL, status int NOT NULL DEFAULT 0, owner int NULL,
    ownername varchar(255) NULL, id int NOT NULL, CONSTRAINT PK_tFctPrognoz PRIMARY KEY (id));
CREATE TABLE tClsMeasurement (name varchar(255) NULL, type int NULL, code varchar(255) NULL, id int NOT NULL,
    CONSTRAINT PK_tClsMeasurement PRIMARY KEY (id));
CREATE TABLE tClsReceiver (id int NOT NULL, category int NULL, name varchar(255) NULL, email varchar(255) NULL,
    position int NULL, importedId int NOT NULL, type int NULL, isgroup int NOT NULL, used int NULL,
    CONSTRAINT PK_tClsReceiver PRIMARY KEY (id));
CREATE TABLE tClsProduct (prognoz int NOT NULL, parent int NULL, measurementNatural int NULL,
    measurementPrice int NULL, name varchar(255) NULL, position int NULL, comment varchar(255) NULL,
    offsetMin numeric(18,4) NULL, offsetMax numeric(18,4) NULL, type int NULL, isgroup int NOT NULL,
    balanceTitle varchar(255) NULL, code varchar(255) NULL, id int NOT NULL,
    CONSTRAINT PK_tClsProduct PRIMARY KEY (prognoz, id));
CREATE TABLE tClsReceiverMap (prognoz int NOT NULL, receiver int NOT NULL);
CREATE TABLE tFctPrognozData (id int NOT NULL, prognoz int NULL, product int NULL, receiver int NULL,
    sumLast numeric(19,4) NULL, sumCurr numeric(19,4) NULL, sumNext numeric(19,4) NULL,
    valueLast numeric(19,4) NULL, valueCurr numeric(19,4) NULL, valueNext numeric(19,4) NULL,
    comment varchar(255) NULL, base varchar(255) NULL, baseMethod int NULL);
CREATE TABLE tFctTotalPrognoz (id int NOT NULL, prognoz int NULL, product int NULL,
    sumLast numeric(19,4) NULL, sumCurr numeric(19,4) NULL, sumNext numeric(19,4) NULL,
    valueLast numeric(19,4) NULL, valueCurr numeric(19,4) NULL, valueNext numeric(19,4) NULL,
    lastUpdate timestamp(0) NULL, comment varchar(255) NULL);
CREATE TABLE tFctPrice (id int NOT NULL, prognoz int NULL, product int NULL, pricePrev numeric(19,4) NULL,
    priceCur numeric(19,4) NULL, priceNext numeric(19,4) NULL);
CREATE TABLE tClsMConvert (id int NOT NULL, base int NULL, produce int NULL, koef double precision NULL);
CREATE TABLE tFctImportStatus (id int NOT NULL, prognoz int NULL, receiver int NULL, send timestamp(0) NULL,
    received timestamp(0) NULL, comment varchar(255) NULL, envelope varchar(255) NULL, event int NULL);
CREATE TABLE tFctDocumentation (prognoz int NULL, name varchar(255) NULL, position int NULL,
    filename varchar(255) NULL, id int NOT NULL);
CREATE TABLE tFctOldImportMap (entity smallint NULL, oldID int NULL, newID int NULL);
CREATE TABLE tFctMailing (id int NOT NULL, prognoz int NOT NULL, Subject varchar(255) NULL, Text varchar(8000) NULL,
    MailingDate timestamp(0) NOT NULL);

INSERT INTO tSysDbVersion (n) VALUES (30);
INSERT INTO tFctPrognoz (id, name, year, status, owner, ownername) VALUES (1, 'Прогноз на 2010 год', 2010, 0, 1, 'Министерство');
INSERT INTO tClsMeasurement (id, name, type, code) VALUES (1, 'Штука', 1, '796'), (2, 'Рубль', 2, '383');
INSERT INTO tClsReceiver (id, category, name, importedId, type, isgroup) VALUES (1, 0, 'Министерство', 0, 0, 1);
INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (1, 1);
INSERT INTO tClsProduct (prognoz, id, parent, measurementNatural, measurementPrice, name, position, offsetMin,
    offsetMax, type, isgroup, code) VALUES
    (1, 1, 0, NULL, 2, 'Продукция', 1, 0, 0, 64, 1, NULL),
    (1, 2, 1, 7, 2, 'Станки', 1, 0.5, 2, 0, 0, '010');
INSERT INTO tFctPrice (id, prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 1, 1, 0, 0, 0), (2, 1, 2, 5, 6, 7);
