// Exchange of money and decimal values with edit fields. Saving accepts ',' or '.' as the decimal
// separator; text that does not read shows the message, keeps the value and puts the focus back
// into the field.
#pragma once

#include "Money.h"

#include <QChar>

class QLineEdit;

// save: field -> value; otherwise value -> field with every separator written as the given one.
bool DDX_TextCurrency(bool save, QLineEdit* edit, Money& value, QChar separator);
// Loading writes the decimal point of the current locale.
bool DDX_TextDecimal(bool save, QLineEdit* edit, double& value);
bool DDX_TextDecimalSep(bool save, QLineEdit* edit, double& value, QChar separator);
