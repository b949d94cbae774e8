-- The upper organisation's database for the road test (SQLite, loaded into a copy of LIR.db.tmpl).
-- Forecast 7 with the reference data closed; the ministry is the organisation's own receiver (it got
-- importedId 77 from above), with two lower organisations below it. Money is in ten-thousandths.
-- Products: 100 Продукция > 110 [01] Канцелярские товары > 111 Бумага офисная, 112 Ручка шариковая;
--           100 > 120 [02] Услуги > 121 Связь (no natural unit).
INSERT INTO tFctPrognoz (id, name, year, status, owner, ownername)
VALUES (7, 'Прогноз на 2026 год', 2026, 1, 21, 'Министерство тестирования');

INSERT INTO tClsReceiver (id, category, name, email, position, importedId, type, isgroup) VALUES
    (21, 0, 'Министерство тестирования', 'ministry@example.org', 1, 77, 1, 1),
    (34, 21, 'Управление А', 'a@example.org', 1, 0, 1, 0),
    (35, 21, 'Управление Б', 'b@example.org', 2, 0, 1, 0);
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (7, 21, 0), (7, 34, 0), (7, 35, 0);

INSERT INTO tClsMeasurement (id, name, type, code, oboznachenie) VALUES
    (1, 'Штука', 1, '796', 'шт.'),
    (2, 'Рубль', 2, '383', 'руб.'),
    (3, 'Тысяча рублей', 2, '384', 'тыс. руб.');
INSERT INTO tClsMConvert (id, base, produce, koef) VALUES (1, 3, 2, 1000);

INSERT INTO tClsProduct (prognoz, id, parent, measurementNatural, measurementPrice, name, position, code, offsetMin,
                         offsetMax, type, isgroup, balanceTitle, avRep, avCur, avProg, priceIdx) VALUES
    (7, 100, 0, NULL, 2, 'Продукция', 1, NULL, 0, 0, 64, 1, NULL, 0, 0, 0, 0),
    (7, 110, 100, NULL, 2, 'Канцелярские товары', 1, '01', 0, 0, 64, 1, 'Прочее', 0, 0, 0, 0),
    (7, 111, 110, 1, 2, 'Бумага офисная', 1, '01.1', 0, 0, 1, 0, NULL, 0, 0, 0, 0),
    (7, 112, 110, 1, 2, 'Ручка шариковая', 2, '01.2', 0, 0, 1, 0, NULL, 0, 0, 0, 0),
    (7, 120, 100, NULL, 2, 'Услуги', 2, '02', 0, 0, 64, 1, 'Прочее', 0, 0, 0, 0),
    (7, 121, 120, NULL, 2, 'Связь', 1, '02.1', 0, 0, 4, 0, NULL, 0, 0, 0, 0);

INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES
    (7, 100, 0, 0, 0),
    (7, 110, 0, 0, 0),
    (7, 111, 3000000, 3200000, 3500000),
    (7, 112, 250000, 270000, 300000),
    (7, 120, 0, 0, 0),
    (7, 121, 10000, 10000, 10000);
