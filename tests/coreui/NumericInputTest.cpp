#include "NumericInput.h"
#include "TestSupport.h"

#include <QLineEdit>

namespace {

class NumericInputTest : public TempHomeTest {
protected:
    QWidget window;
    QLineEdit* edit = new QLineEdit(&window);
    QLineEdit* other = new QLineEdit(&window);
    void SetUp() override
    {
        TempHomeTest::SetUp();
        window.show();
        other->setFocus();
        ASSERT_EQ(window.focusWidget(), other);
    }
};

} // namespace

TEST_F(NumericInputTest, MoneyAcceptsEitherSeparatorAndRefusesOtherText)
{
    Money value;
    for (const char* text : {"12.5", "12,5", " 12,50 "}) {
        edit->setText(text);
        EXPECT_TRUE(DDX_TextCurrency(true, edit, value, u','));
        EXPECT_EQ(value.raw(), 125000) << text;
    }
    edit->setText("12,5 руб");
    EXPECT_FALSE(DDX_TextCurrency(true, edit, value, u','));
    EXPECT_EQ(value.raw(), 125000) << "the value stays";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Пожалуйста, введите цену.");
    EXPECT_EQ(messages[0].flags, 0u);
    EXPECT_EQ(window.focusWidget(), edit);

    value = *Money::fromDouble(1234.05);
    ASSERT_TRUE(DDX_TextCurrency(false, edit, value, u'.'));
    EXPECT_EQ(edit->text(), "1234.05");
    ASSERT_TRUE(DDX_TextCurrency(false, edit, value, u','));
    EXPECT_EQ(edit->text(), "1234,05");
}

TEST_F(NumericInputTest, DecimalsAcceptEitherSeparatorAndLoadWithTheLocalesOrTheGivenOne)
{
    double value = 0;
    for (const char* text : {"1.5", "1,5", "+1,50"}) {
        edit->setText(text);
        EXPECT_TRUE(DDX_TextDecimal(true, edit, value)) << text;
        EXPECT_EQ(value, 1.5) << text;
    }
    for (const char* text : {"", "abc", "1,2,3", "-", "nan", "inf", "1e3"}) {
        edit->setText(text);
        EXPECT_FALSE(DDX_TextDecimalSep(true, edit, value, u'.')) << text;
    }
    EXPECT_EQ(value, 1.5);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, "Пожалуйста, введите число.");

    value = 0.333333;
    ASSERT_TRUE(DDX_TextDecimal(false, edit, value));
    EXPECT_EQ(edit->text(), "0,333333");
    value = 1e-7;
    ASSERT_TRUE(DDX_TextDecimalSep(false, edit, value, u'.'));
    EXPECT_EQ(edit->text(), "0.0000001");
    value = 1200;
    ASSERT_TRUE(DDX_TextDecimalSep(false, edit, value, u','));
    EXPECT_EQ(edit->text(), "1200");
}
