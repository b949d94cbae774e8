-- A database file of the first generation: tables without the tCls/tFct/tSys prefixes and without
-- the columns that later versions added. Version 22: product codes stand at the head of the names,
-- unit codes in brackets after the unit names. Money in ten-thousandths.
CREATE TABLE ImportEventType (id INT NOT NULL PRIMARY KEY, name TEXT NULL);
CREATE TABLE DbVersion (n INT NOT NULL);
CREATE TABLE Prognoz (name TEXT NULL, year INTEGER NULL, id INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE Measurement (name TEXT NULL, type INTEGER NULL, id INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE Receiver (id INTEGER NOT NULL PRIMARY KEY, category INTEGER NULL, name TEXT NULL, email TEXT NULL,
    position INTEGER NULL, importedId INTEGER NOT NULL, type INTEGER NULL, isgroup INTEGER NOT NULL);
CREATE TABLE Product (prognoz INTEGER NOT NULL, parent INTEGER NULL, measurementNatural INTEGER NULL,
    measurementPrice INTEGER NULL, name TEXT NULL, position INTEGER NULL, comment TEXT NULL, offsetMin REAL NULL,
    offsetMax REAL NULL, type INTEGER NULL, isgroup INTEGER NOT NULL, balanceTitle TEXT NULL, id INTEGER NULL,
    PRIMARY KEY (prognoz, id));
CREATE TABLE ReceiverMap (prognoz INTEGER NOT NULL, receiver INTEGER NOT NULL, PRIMARY KEY (prognoz, receiver));
CREATE TABLE PrognozData (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, product INTEGER NULL,
    receiver INTEGER NULL, sumLast INTEGER NULL, sumCurr INTEGER NULL, sumNext INTEGER NULL, valueLast INTEGER NULL,
    valueCurr INTEGER NULL, valueNext INTEGER NULL, comment TEXT NULL);
CREATE TABLE TotalPrognoz (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, product INTEGER NULL,
    sumLast INTEGER NULL, sumCurr INTEGER NULL, sumNext INTEGER NULL, valueLast INTEGER NULL, valueCurr INTEGER NULL,
    valueNext INTEGER NULL, lastUpdate TEXT NULL, comment TEXT NULL);
CREATE TABLE Price (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, product INTEGER NULL,
    pricePrev INTEGER NULL, priceCur INTEGER NULL, priceNext INTEGER NULL);
CREATE TABLE MConvert (id INTEGER NOT NULL PRIMARY KEY, base INTEGER NULL, produce INTEGER NULL, koef REAL NULL);
CREATE TABLE ImportStatus (id INTEGER NOT NULL PRIMARY KEY, prognoz INTEGER NULL, receiver INTEGER NULL,
    send TEXT NULL, received TEXT NULL, comment TEXT NULL, envelope TEXT NULL, event INTEGER NULL);
CREATE TABLE Documentation (prognoz INTEGER NULL, name TEXT NULL, position INTEGER NULL, filename TEXT NULL,
    id INTEGER NOT NULL PRIMARY KEY);
CREATE TABLE OldImportMap (entity INTEGER NULL, oldID INTEGER NULL, newID INTEGER NULL);
CREATE TABLE Faq (id INTEGER NULL, askPerson TEXT NULL, askDate TEXT NULL, question TEXT NULL, answerDate TEXT NULL,
    answer TEXT NULL, private INTEGER NULL);
CREATE TABLE News (id INTEGER NULL, created TEXT NULL, title TEXT NULL, text TEXT NULL, published TEXT NULL);

INSERT INTO DbVersion (n) VALUES (22);
INSERT INTO ImportEventType (id, name) VALUES (1, 'Отправка'), (2, 'Получение');
INSERT INTO Prognoz (id, name, year) VALUES (1, 'Прогноз на 2005 год', 2005);
INSERT INTO Measurement (id, name, type) VALUES (1, 'Штука [796]', 1), (2, 'Тонна [168]', 1), (3, 'Рубль', 2);
INSERT INTO Receiver (id, category, name, importedId, type, isgroup) VALUES
    (1, 0, 'Министерство', 0, 0, 1), (2, 1, 'Управление', 0, 0, 0);
INSERT INTO ReceiverMap (prognoz, receiver) VALUES (1, 1), (1, 2);
INSERT INTO Product (prognoz, id, parent, measurementNatural, measurementPrice, name, position, offsetMin, offsetMax,
    type, isgroup) VALUES
    (1, 1, 0, NULL, 3, 'Продукция', 1, 0, 0, 64, 1),
    (1, 2, 1, 1, 3, '001 Уголь', 1, 0.8, 1.25, 0, 0);
INSERT INTO Price (id, prognoz, product, pricePrev, priceCur, priceNext) VALUES
    (1, 1, 1, 0, 0, 0), (2, 1, 2, 10000000, 11000000, 12000000);
INSERT INTO PrognozData (id, prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext)
    VALUES (1, 1, 2, 2, 100000000, 110000000, 120000000, 100000, 100000, 100000);
INSERT INTO MConvert (id, base, produce, koef) VALUES (1, 2, 1, 1000);
INSERT INTO ImportStatus (id, prognoz, receiver, send, event, comment) VALUES
    (1, 1, 2, '2005-03-01 10:00:00', 1, 'Отправлено'), (2, 1, 2, '2005-03-02 11:00:00', 2, 'Получено');
INSERT INTO Documentation (prognoz, name, position, filename, id) VALUES (1, 'Инструкция', 1, 'instr.doc', 1);
INSERT INTO Faq (id, askPerson, question) VALUES (1, 'Иванов', 'Как?');
