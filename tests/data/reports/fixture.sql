-- The report tests' main database, the same on SQLite and PostgreSQL. Batches are separated by lines
-- holding only GO. Money and quantities are written in ten-thousandths (12345 = 1,2345); on
-- PostgreSQL the loader divides the money columns by 10000 afterwards and moves the identities past
-- the ids written here.
--
-- Forecast 1 (2026):
--   receivers  1 Министерство (top group) > 2 Департамент (group) > 3 Учреждение А (own), 4 Учреждение Б;
--              1 > 5 Отдел; 6 Неразмещенный (category -1); all mapped.
--   products   10 Продукция (top, 64) > 11 Товары (96) > 12 Продукты питания (112) > 13 Хлеб (шт., руб.),
--              14 Молоко (кг, тыс. руб.); 10 > 15 Услуги (64) > 16 Связь (no natural unit),
--              17 Без цены (no price row) > 18 Под группой без цены.
--   data on 3, 4, 5, the top 1 and the group 2 (which counts nowhere); consolidated rows.
-- Forecast 2 (2027): the same top and 11, and 12 Продукты питания as a leaf with data of 3.
-- Units: 1 руб., 2 тыс. руб. (1 тыс. руб. = 1000 руб.), 3 шт., 4 кг.

INSERT INTO tFctPrognoz (id, name, year, status, owner, ownername) VALUES (1, 'Прогноз на 2026 год', 2026, 1, 0, 'Министерство')
GO
INSERT INTO tFctPrognoz (id, name, year, status, owner, ownername) VALUES (2, 'Прогноз на 2027 год', 2027, 0, 0, 'Министерство')
GO

INSERT INTO tClsMeasurement (id, name, type, code, oboznachenie) VALUES (1, 'Рубль', 2, '383', 'руб.')
GO
INSERT INTO tClsMeasurement (id, name, type, code, oboznachenie) VALUES (2, 'Тысяча рублей', 2, '384', 'тыс. руб.')
GO
INSERT INTO tClsMeasurement (id, name, type, code, oboznachenie) VALUES (3, 'Штука', 1, '796', 'шт.')
GO
INSERT INTO tClsMeasurement (id, name, type, code, oboznachenie) VALUES (4, 'Килограмм', 1, '166', 'кг')
GO
INSERT INTO tClsMConvert (base, produce, koef) VALUES (2, 1, 1000)
GO

INSERT INTO tClsReceiver (id, category, name, position, importedId, type, isgroup) VALUES (1, 0, 'Министерство', 1, 0, 1, 1)
GO
INSERT INTO tClsReceiver (id, category, name, position, importedId, type, isgroup) VALUES (2, 1, 'Департамент', 1, 0, 1, 1)
GO
INSERT INTO tClsReceiver (id, category, name, position, importedId, type, isgroup) VALUES (3, 2, 'Учреждение А', 1, 103, 1, 0)
GO
INSERT INTO tClsReceiver (id, category, name, position, importedId, type, isgroup) VALUES (4, 2, 'Учреждение Б', 2, 0, 1, 0)
GO
INSERT INTO tClsReceiver (id, category, name, position, importedId, type, isgroup) VALUES (5, 1, 'Отдел', 2, 0, 1, 0)
GO
INSERT INTO tClsReceiver (id, category, name, position, importedId, type, isgroup) VALUES (6, -1, 'Неразмещенный', 3, 0, 1, 0)
GO

INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 1, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 2, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 3, 2)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 4, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 5, 1)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (1, 6, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (2, 1, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (2, 2, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (2, 3, 0)
GO
INSERT INTO tClsReceiverMap (prognoz, receiver, subReceiverCount) VALUES (2, 4, 0)
GO

INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 10, 0, 'Продукция', NULL, 1, 64, 1, NULL, 1, NULL, 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 11, 10, 'Товары', '01', 1, 96, 1, NULL, 1, 'Прочие товары', 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 12, 11, 'Продукты питания', '01.1', 1, 112, 1, NULL, 1, 'Прочие продукты', 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 13, 12, 'Хлеб', '01.1.1', 1, 1, 0, 3, 1, 'Прочее', 0.5, 2)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 14, 12, 'Молоко', '01.1.2', 2, 1, 0, 4, 2, 'Прочее', 0.5, 2)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 15, 10, 'Услуги', '02', 2, 64, 1, NULL, 1, NULL, 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 16, 15, 'Связь', '02.1', 1, 4, 0, NULL, 1, 'Прочее', 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 17, 15, 'Без цены', '02.2', 2, 64, 1, NULL, 1, NULL, 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (1, 18, 17, 'Под группой без цены', '02.2.1', 1, 4, 0, NULL, 1, 'Прочее', 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (2, 10, 0, 'Продукция', NULL, 1, 64, 1, NULL, 1, NULL, 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (2, 11, 10, 'Товары', '01', 1, 96, 1, NULL, 1, 'Прочие товары', 0, 0)
GO
INSERT INTO tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax)
VALUES (2, 12, 11, 'Продукты питания', '01.1', 1, 1, 0, 3, 1, 'Прочее', 0.5, 2)
GO

INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 10, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 11, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 12, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 13, 100000, 100000, 100000)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 14, 500, 500, 500)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 15, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 16, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (1, 18, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (2, 10, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (2, 11, 0, 0, 0)
GO
INSERT INTO tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) VALUES (2, 12, 100000, 100000, 100000)
GO

-- Forecast data: sums, then quantities, then the next year's split by method.
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 13, 3, 1000000, 1100000, 1200000, 100000, 110000, 120000, 60000, 60000, 0, 0, 0, 600000, 600000, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 13, 4, 2000000, 2100000, 2200000, 200000, 210000, 220000, 0, 0, 220000, 0, 0, 0, 0, 2200000, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 13, 5, 500000, 500000, 500000, 50000, 50000, 50000, 0, 0, 0, 50000, 0, 0, 0, 0, 500000, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 13, 1, 100000, 100000, 100000, 10000, 10000, 10000, 0, 0, 0, 0, 10000, 0, 0, 0, 0, 100000)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 13, 2, 99990000, 99990000, 99990000, 9999000, 9999000, 9999000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 14, 3, 30000, 35000, 40000, 60000, 70000, 80000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 16, 3, 700000, 800000, 900000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 18, 3, 10000, 10000, 10000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
-- Group rows: their quantities are the balancing line's sums.
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 12, 3, 1100000, 1200000, 1300000, 70000, 50000, 60000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 11, 3, 1200000, 1300000, 1400000, 100000, 100000, 100000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 10, 3, 2000000, 2200000, 2400000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 10, 4, 2000000, 2100000, 2200000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (2, 12, 3, 3000000, 3100000, 3200000, 300000, 310000, 320000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO

-- The consolidated forecast of forecast 1.
INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 10, 4600000, 4900000, 5200000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 11, 3700000, 3900000, 4100000, 100000, 100000, 100000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 12, 3600000, 3800000, 4000000, 70000, 50000, 60000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 13, 3600000, 3800000, 4000000, 360000, 380000, 400000, 60000, 60000, 220000, 50000, 10000, 600000, 600000, 2200000, 500000, 100000)
GO
INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 14, 30000, 35000, 40000, 60000, 70000, 80000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther)
VALUES (1, 16, 700000, 800000, 900000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
GO
