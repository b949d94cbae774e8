-- Unit symbols by the units' codes in the all-Russian classifier of units of measurement
-- (ОК 015-94): its international units, its national units, then two units that it lists with
-- international symbols only. Squares and cubes are written "кв." and "куб.", multiples mostly
-- as words. A unit of another code, or of none, keeps its symbol. The same text serves the file
-- and the server. Batches are separated by lines holding only GO.

UPDATE tClsMeasurement
SET oboznachenie = 'мм'
WHERE code = '003'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'см'
WHERE code = '004'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дм'
WHERE code = '005'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'м'
WHERE code = '006'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'км'
WHERE code = '008'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Мм'
WHERE code = '009'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дюйм'
WHERE code = '039'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'фут'
WHERE code = '041'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ярд'
WHERE code = '043'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'миля'
WHERE code = '047'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.мм'
WHERE code = '050'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.см'
WHERE code = '051'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.дм'
WHERE code = '053'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.м'
WHERE code = '055'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кв.м'
WHERE code = '058'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'га'
WHERE code = '059'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.км'
WHERE code = '061'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.дюйм'
WHERE code = '071'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.фут'
WHERE code = '073'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.ярд'
WHERE code = '075'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'а'
WHERE code = '109'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.мм'
WHERE code = '110'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.см; мл'
WHERE code = '111'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л'
WHERE code = '112'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.м'
WHERE code = '113'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дл'
WHERE code = '118'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'гл'
WHERE code = '122'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Мл'
WHERE code = '126'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.дюйм'
WHERE code = '131'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.фут'
WHERE code = '132'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.ярд'
WHERE code = '133'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн куб.м'
WHERE code = '159'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'гг'
WHERE code = '160'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мг'
WHERE code = '161'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кар'
WHERE code = '162'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'г'
WHERE code = '163'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг'
WHERE code = '166'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т'
WHERE code = '168'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кт'
WHERE code = '170'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'сг'
WHERE code = '173'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'БРТ'
WHERE code = '181'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т грп'
WHERE code = '185'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ц'
WHERE code = '206'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Вт'
WHERE code = '212'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кВт'
WHERE code = '214'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'МВт; тыс кВт'
WHERE code = '215'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'В'
WHERE code = '222'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кВ'
WHERE code = '223'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кВ.А'
WHERE code = '227'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'МВ.А'
WHERE code = '228'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'квар'
WHERE code = '230'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Вт.ч'
WHERE code = '243'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кВт.ч'
WHERE code = '245'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'МВт.ч; тыс кВт.ч'
WHERE code = '246'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ГВт.ч'
WHERE code = '247'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'А'
WHERE code = '260'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'А.ч'
WHERE code = '263'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс А.ч'
WHERE code = '264'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Кл'
WHERE code = '270'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ДЖ'
WHERE code = '271'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кДж'
WHERE code = '273'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Ом'
WHERE code = '274'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'град.С'
WHERE code = '280'
GO

UPDATE tClsMeasurement
SET oboznachenie = '0F'
WHERE code = '281'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кд'
WHERE code = '282'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'лк'
WHERE code = '283'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'лм'
WHERE code = '284'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'К'
WHERE code = '288'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Н'
WHERE code = '289'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Гц'
WHERE code = '290'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кГц'
WHERE code = '291'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'МГц'
WHERE code = '292'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Па'
WHERE code = '294'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'См'
WHERE code = '296'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кПа'
WHERE code = '297'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'МПа'
WHERE code = '298'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'атм'
WHERE code = '300'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ат'
WHERE code = '301'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ГБк'
WHERE code = '302'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мКи'
WHERE code = '304'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Ки'
WHERE code = '305'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'г Д/И'
WHERE code = '306'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мб'
WHERE code = '308'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'бар'
WHERE code = '309'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'гб'
WHERE code = '310'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кб'
WHERE code = '312'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Ф'
WHERE code = '314'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг/куб.м'
WHERE code = '316'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Бк'
WHERE code = '323'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Вб'
WHERE code = '324'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'уз'
WHERE code = '327'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'м/с'
WHERE code = '328'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'об/с'
WHERE code = '330'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'об/мин'
WHERE code = '331'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'км/ч'
WHERE code = '333'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'м/кв.с'
WHERE code = '335'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Кл/кг'
WHERE code = '349'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'с'
WHERE code = '354'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мин'
WHERE code = '355'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ч'
WHERE code = '356'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'сут; дн'
WHERE code = '359'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'нед'
WHERE code = '360'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дек'
WHERE code = '361'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мес'
WHERE code = '362'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кварт'
WHERE code = '364'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'полгода'
WHERE code = '365'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'г; лет'
WHERE code = '366'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'деслет'
WHERE code = '368'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг/с'
WHERE code = '499'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т пар/ч'
WHERE code = '533'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.м/с'
WHERE code = '596'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'куб.м/ч'
WHERE code = '598'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс куб.м/сут'
WHERE code = '599'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'боб'
WHERE code = '616'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л.'
WHERE code = '625'
GO

UPDATE tClsMeasurement
SET oboznachenie = '100 л.'
WHERE code = '626'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс станд.усл.кирп'
WHERE code = '630'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дюжина'
WHERE code = '641'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'изд'
WHERE code = '657'
GO

UPDATE tClsMeasurement
SET oboznachenie = '100 ящ.'
WHERE code = '683'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'набор'
WHERE code = '704'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'пар'
WHERE code = '715'
GO

UPDATE tClsMeasurement
SET oboznachenie = '20'
WHERE code = '730'
GO

UPDATE tClsMeasurement
SET oboznachenie = '10 пар'
WHERE code = '732'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дюжина пар'
WHERE code = '733'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'посыл'
WHERE code = '734'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'часть'
WHERE code = '735'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'рул'
WHERE code = '736'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дюжина рул'
WHERE code = '737'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дюжина шт'
WHERE code = '740'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'элем'
WHERE code = '745'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'упак'
WHERE code = '778'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дюжина упак'
WHERE code = '780'
GO

UPDATE tClsMeasurement
SET oboznachenie = '100 упак'
WHERE code = '781'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'шт'
WHERE code = '796'
GO

UPDATE tClsMeasurement
SET oboznachenie = '100 шт'
WHERE code = '797'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс.шт'
WHERE code = '798'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн шт'
WHERE code = '799'
GO

UPDATE tClsMeasurement
SET oboznachenie = '10^9 шт'
WHERE code = '800'
GO

UPDATE tClsMeasurement
SET oboznachenie = '10^12 шт'
WHERE code = '801'
GO

UPDATE tClsMeasurement
SET oboznachenie = '10^18 шт'
WHERE code = '802'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'креп.спирта по массе'
WHERE code = '820'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'креп.спирта по объему'
WHERE code = '821'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л 100% спирта'
WHERE code = '831'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'гл 100% спирта'
WHERE code = '833'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг H2O2'
WHERE code = '841'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг 90% с/в'
WHERE code = '845'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т 90% с/в'
WHERE code = '847'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг K2O'
WHERE code = '852'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг KOH'
WHERE code = '859'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг N'
WHERE code = '861'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг NaOH'
WHERE code = '863'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг P2O5'
WHERE code = '865'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг U'
WHERE code = '867'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'пог.м'
WHERE code = '018'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс пог.м'
WHERE code = '019'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.м'
WHERE code = '020'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.м'
WHERE code = '048'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'км усл.труб'
WHERE code = '049'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кв.дм'
WHERE code = '054'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кв.дм'
WHERE code = '056'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кв.м'
WHERE code = '057'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс га'
WHERE code = '060'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.кв.м'
WHERE code = '062'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.кв.м'
WHERE code = '063'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн усл.кв.м'
WHERE code = '064'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.м общ.пл'
WHERE code = '081'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кв.м общ.пл'
WHERE code = '082'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кв.м общ.пл'
WHERE code = '083'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.м жил.пл'
WHERE code = '084'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кв.м жил.пл'
WHERE code = '085'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кв.м жил.пл'
WHERE code = '086'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кв.м уч.лаб.здан'
WHERE code = '087'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кв.м уч.лаб.здан'
WHERE code = '088'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кв.м 2 мм исч'
WHERE code = '089'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс куб.м'
WHERE code = '114'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млрд куб.м'
WHERE code = '115'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'дкл'
WHERE code = '116'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс дкл'
WHERE code = '119'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн дкл'
WHERE code = '120'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'плотн.куб.м'
WHERE code = '121'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.куб.м'
WHERE code = '123'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.куб.м'
WHERE code = '124'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн куб.м перераб.газа'
WHERE code = '125'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс плотн.куб.м'
WHERE code = '127'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс пол.л'
WHERE code = '128'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн пол.л'
WHERE code = '129'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс л'
WHERE code = '130'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кар'
WHERE code = '165'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кар'
WHERE code = '167'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т'
WHERE code = '169'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн т'
WHERE code = '171'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т усл.топл'
WHERE code = '172'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т усл.топл'
WHERE code = '175'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн т усл.топл'
WHERE code = '176'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т единовр.хран'
WHERE code = '177'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т перераб'
WHERE code = '178'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.т'
WHERE code = '179'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'В.А'
WHERE code = '226'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'м/ч'
WHERE code = '231'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ккал'
WHERE code = '232'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Гкал'
WHERE code = '233'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс Гкал'
WHERE code = '234'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн Гкал'
WHERE code = '235'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кал/ч'
WHERE code = '236'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ккал/ч'
WHERE code = '237'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Гкал/ч'
WHERE code = '238'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс Гкал/ч'
WHERE code = '239'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн А.ч'
WHERE code = '241'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн кВ.А'
WHERE code = '242'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кВ.А Р'
WHERE code = '248'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млрд кВт.ч'
WHERE code = '249'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кВ.А Р'
WHERE code = '250'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л.с'
WHERE code = '251'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс л.с'
WHERE code = '252'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн л.с'
WHERE code = '253'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'бит'
WHERE code = '254'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'бай'
WHERE code = '255'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кбайт'
WHERE code = '256'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Мбайт'
WHERE code = '257'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'бод'
WHERE code = '258'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Гн'
WHERE code = '287'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'Тл'
WHERE code = '313'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг/кв.см'
WHERE code = '337'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мм вод.ст'
WHERE code = '338'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мм рт.ст'
WHERE code = '339'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мкс'
WHERE code = '352'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млс'
WHERE code = '353'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'руб'
WHERE code = '383'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс руб'
WHERE code = '384'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн руб'
WHERE code = '385'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млрд руб'
WHERE code = '386'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'трлн руб'
WHERE code = '387'
GO

UPDATE tClsMeasurement
SET oboznachenie = '10^15 руб'
WHERE code = '388'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'пасс.км'
WHERE code = '414'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'пасс.мест'
WHERE code = '421'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс пасс.км'
WHERE code = '423'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн пасс.км'
WHERE code = '424'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'пасс.поток'
WHERE code = '427'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т.км'
WHERE code = '449'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т.км'
WHERE code = '450'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн т.км'
WHERE code = '451'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'г/кВт.ч'
WHERE code = '510'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кг/Гкал'
WHERE code = '511'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т.ном'
WHERE code = '512'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'чел/кв.м'
WHERE code = '521'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'чел/кв.км'
WHERE code = '522'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т/ч'
WHERE code = '534'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т/сут'
WHERE code = '535'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т/смен'
WHERE code = '536'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т/сез'
WHERE code = '537'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т/год'
WHERE code = '538'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'чел.ч'
WHERE code = '539'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'чел.дн'
WHERE code = '540'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс чел.дн'
WHERE code = '541'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс чел.ч'
WHERE code = '542'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.банк/смен'
WHERE code = '543'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн ед/год'
WHERE code = '544'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'посещ/смен'
WHERE code = '545'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс посещ/смен'
WHERE code = '546'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'пар/смен'
WHERE code = '547'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс пар/смен'
WHERE code = '548'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн т/год'
WHERE code = '550'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'т перераб/сут'
WHERE code = '552'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т перераб/сут'
WHERE code = '553'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ц перераб/сут'
WHERE code = '554'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс ц перераб/сут'
WHERE code = '555'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс гол/год'
WHERE code = '556'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн гол/год'
WHERE code = '557'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс птицемест'
WHERE code = '558'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кур.несуш'
WHERE code = '559'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мин.заработн.плат'
WHERE code = '560'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т пар/ч'
WHERE code = '561'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс куб.м/ч'
WHERE code = '600'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс доз'
WHERE code = '640'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ед'
WHERE code = '642'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс ед'
WHERE code = '643'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн ед'
WHERE code = '644'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'мест'
WHERE code = '698'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс мест'
WHERE code = '699'
GO

UPDATE tClsMeasurement
SET oboznachenie = '%'
WHERE code = '744'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'промилле'
WHERE code = '746'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс рул'
WHERE code = '751'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн упак'
WHERE code = '779'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'чел'
WHERE code = '792'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс чел'
WHERE code = '793'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн чел'
WHERE code = '794'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ящ'
WHERE code = '812'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'гол'
WHERE code = '836'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс пар'
WHERE code = '837'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн пар'
WHERE code = '838'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'компл'
WHERE code = '839'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'секц'
WHERE code = '840'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'бут'
WHERE code = '868'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс бут'
WHERE code = '869'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ампул'
WHERE code = '870'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс ампул'
WHERE code = '871'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'флак'
WHERE code = '872'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс флак'
WHERE code = '873'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс туб'
WHERE code = '874'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кор'
WHERE code = '875'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.ед'
WHERE code = '876'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.ед'
WHERE code = '877'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн усл.ед'
WHERE code = '878'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.шт'
WHERE code = '879'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.шт'
WHERE code = '880'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.банк'
WHERE code = '881'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.банк'
WHERE code = '882'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн усл.банк'
WHERE code = '883'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.кус'
WHERE code = '884'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.кус'
WHERE code = '885'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн усл.кус'
WHERE code = '886'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.ящ'
WHERE code = '887'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.ящ'
WHERE code = '888'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.кат'
WHERE code = '889'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.кат'
WHERE code = '890'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.плит'
WHERE code = '891'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.плит'
WHERE code = '892'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.кирп'
WHERE code = '893'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс усл.кирп'
WHERE code = '894'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн усл.кирп'
WHERE code = '895'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'семей'
WHERE code = '896'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс семей'
WHERE code = '897'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн семей'
WHERE code = '898'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'домхоз'
WHERE code = '899'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс домхоз'
WHERE code = '900'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн домхоз'
WHERE code = '901'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'учен.мест'
WHERE code = '902'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс учен.мест'
WHERE code = '903'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'раб.мест'
WHERE code = '904'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс раб.мест'
WHERE code = '905'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'посад.мест'
WHERE code = '906'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс посад.мест'
WHERE code = '907'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ном'
WHERE code = '908'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'кварт'
WHERE code = '909'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс кварт'
WHERE code = '910'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'коек'
WHERE code = '911'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс коек'
WHERE code = '912'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'том книжн.фонд'
WHERE code = '913'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс том книжн.фонд'
WHERE code = '914'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.рем'
WHERE code = '915'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.рем/год'
WHERE code = '916'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'смен'
WHERE code = '917'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л.авт'
WHERE code = '918'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л.печ'
WHERE code = '920'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'л.уч.-изд'
WHERE code = '921'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'знак'
WHERE code = '922'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'слово'
WHERE code = '923'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'символ'
WHERE code = '924'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'усл.труб'
WHERE code = '925'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ваг (маш).дн'
WHERE code = '950'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс ваг (маш).ч'
WHERE code = '951'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс ваг (маш).км'
WHERE code = '952'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс мест.км'
WHERE code = '953'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ваг.сут'
WHERE code = '954'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс поезд.ч'
WHERE code = '955'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс поезд.км'
WHERE code = '956'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс т.миль'
WHERE code = '957'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс пасс.миль'
WHERE code = '958'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'автомоб.дн'
WHERE code = '959'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс автомоб.т.дн'
WHERE code = '960'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс автомоб.ч'
WHERE code = '961'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс автомоб.мест.дн'
WHERE code = '962'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'привед.ч'
WHERE code = '963'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'самолет.км'
WHERE code = '964'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс км'
WHERE code = '965'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'тыс тоннаж.рейс'
WHERE code = '966'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн т.миль'
WHERE code = '967'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн пасс.миль'
WHERE code = '968'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн тоннаж.миль'
WHERE code = '969'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'млн пасс.мест.миль'
WHERE code = '970'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'корм.дн'
WHERE code = '971'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'ц корм.ед'
WHERE code = '972'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'hm'
WHERE code = '017'
GO

UPDATE tClsMeasurement
SET oboznachenie = 'mile'
WHERE code = '045'
GO
