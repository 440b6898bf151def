#include "AnsiText.h"
#include "TestSupport.h"
#include "Umain.h"
#include "Uprocess.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> bareCaptions = {FrCaptionPrefix, ReCaptionPrefix, SlopeCaptionPrefix};

QImage lineFrom(int width, int height, int x0, int y0, int x1, int y1)
{
    QImage image = SolidImage(width, height, 20, 30, 40);
    for (int x = x0; x <= x1; ++x)
        SetWhite(image, x, y0 + (y1 - y0) * (x - x0) / (x1 - x0));
    return image;
}

TEST(Window, TheStoredLayoutIsApplied)
{
    WindowUnderTest window(SolidImage(4, 4));
    QWidget* form = window->Widget();
    EXPECT_EQ(form->pos(), QPoint(229, 173));
    EXPECT_EQ(form->size(), QSize(925, 425));
    EXPECT_EQ(form->windowTitle(), "Form1");
    EXPECT_EQ(window->Color, clBtnFace);
    EXPECT_EQ(window->Font.Name, "MS Sans Serif");
    EXPECT_EQ(window->Font.Height, -11);
    EXPECT_EQ(window->Font.Color, clWindowText);
    EXPECT_EQ(window->Font.Charset, "DEFAULT_CHARSET");
    EXPECT_TRUE(window->Font.Style.empty());
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_EQ(window->PixelsPerInch, 96);
    EXPECT_EQ(window->TextHeight, 13);
    EXPECT_FALSE(window->OldCreateOrder);

    struct Expected { TControl* control; QRect bounds; const char* caption; };
    const Expected controls[] = {
        {window->Image1, {16, 8, 889, 273}, ""},
        {window->Button1, {104, 288, 75, 25}, "Thread"},
        {window->Button2, {16, 288, 75, 25}, "Form"},
    };
    for (const Expected& e : controls) {
        EXPECT_EQ(e.control->Widget()->geometry(), e.bounds) << e.control->Name;
        EXPECT_EQ(e.control->Text(), e.caption);
        EXPECT_EQ(e.control->Widget()->parentWidget(), form);
    }
    EXPECT_EQ(static_cast<QPushButton*>(window->Button1->Widget())->text(), "Thread");
    EXPECT_EQ(window->lblFr->Widget()->pos(), QPoint(296, 296));
    EXPECT_EQ(window->lblRe->Widget()->pos(), QPoint(296, 320));
    EXPECT_EQ(window->lblSlope->Widget()->pos(), QPoint(296, 344));

    EXPECT_EQ(window->Button1->TabOrder, 0);
    EXPECT_EQ(window->Button2->TabOrder, 1);
    EXPECT_EQ(window->Button1->Widget()->nextInFocusChain(), window->Button2->Widget());

    std::vector<std::string> order;
    for (TComponent* component : window->Components())
        order.push_back(component->Name);
    EXPECT_EQ(order, (std::vector<std::string>{"Image1", "lblSlope", "lblFr", "lblRe", "Button1", "Button2"}));
}

TEST(Window, ShownCaptionsAreTheBarePrefixesDecodedFromBig5)
{
    WindowUnderTest window(SolidImage(4, 4));
    EXPECT_EQ(window.Captions(), bareCaptions);
    EXPECT_EQ(static_cast<QLabel*>(window->lblFr->Widget())->text(), QString::fromUtf8("右邊座標:"));
    EXPECT_EQ(static_cast<QLabel*>(window->lblRe->Widget())->text(), QString::fromUtf8("左邊座標:"));
    EXPECT_EQ(static_cast<QLabel*>(window->lblSlope->Widget())->text(), QString::fromUtf8("斜率:"));
    EXPECT_TRUE(RecordedMessages().empty());
}

// Each kind of damaged file is checked in the window by the bad-picture tests.
TEST(Window, WithoutAPictureOneMessageThenAnEmptyPictureThatMeasures)
{
    WindowUnderTest window{QByteArray()};
    ASSERT_EQ(RecordedMessages().size(), 1u);
    EXPECT_EQ(RecordedMessages()[0], "Cannot open \"test.bmp\": the file does not exist.");
    EXPECT_EQ(window->Image1->Picture->Bitmap->Width(), 0);
    EXPECT_TRUE(window->Widget()->isVisible());
    window->Button2->Click();
    EXPECT_EQ(window.Captions(), EmptyPictureCaptions);
    EXPECT_TRUE(window.ButtonsEnabled());
}

TEST(Window, AFolderNamedTestBmpIsReported)
{
    ScratchDirectory dir;
    QDir().mkdir("test.bmp");
    RecordedMessages().clear();
    Application->CreateForm(&Form1);
    ASSERT_EQ(RecordedMessages().size(), 1u);
    EXPECT_EQ(RecordedMessages()[0], "Cannot open \"test.bmp\": it is a folder, not a picture file.");
    delete Form1;
    Form1 = nullptr;
}

TEST(Window, ALargePictureIsShownClippedButMeasuredWhole)
{
    QImage picture = lineFrom(1000, 400, 0, 390, 950, 300);
    picture.setPixelColor(0, 0, Qt::red);
    picture.setPixelColor(888, 272, Qt::green);
    WindowUnderTest window(picture);
    const QImage shown = window->Image1->Widget()->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(889, 273));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(888, 272), QColor(Qt::green));

    window->Button2->Click();
    EXPECT_EQ(window->lblRe->Text(), ReCaptionPrefix + "(950:300)");
}

TEST(FormRun, ShowsTheResultAndLeavesThePictureAlone)
{
    const QImage picture = lineFrom(200, 100, 3, 45, 120, 7);
    WindowUnderTest window(picture);
    window->Button2->Click();
    const std::vector<std::string> expected = {
        FrCaptionPrefix + "(  3: 45)", ReCaptionPrefix + "(120:  7)", SlopeCaptionPrefix + "0.32479"};
    EXPECT_EQ(window.Captions(), expected);
    EXPECT_TRUE(window.ButtonsEnabled());
    EXPECT_EQ(window->Image1->Picture->Bitmap->Image().convertToFormat(QImage::Format_BGR888), picture);
    ASSERT_NE(FormProcess, nullptr);

    window->Button2->Click();
    EXPECT_EQ(window.Captions(), expected);
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST(FormRun, LabelsGrowToTheirCaptions)
{
    WindowUnderTest window(lineFrom(2000, 1500, 1024, 12, 1999, 1400));
    window->Button2->Click();
    for (TLabel* label : {window->lblFr, window->lblRe, window->lblSlope}) {
        auto* widget = static_cast<QLabel*>(label->Widget());
        EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(widget->text()));
    }
    EXPECT_EQ(window->lblFr->Text(), FrCaptionPrefix + "(1024: 12)");
}

}
