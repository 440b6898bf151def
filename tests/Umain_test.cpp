#include "TestSupport.h"
#include "Umain.h"
#include "Uprocess.h"

#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(Window, ShownCaptionsAreTheBarePrefixesDecodedFromBig5)
{
    WindowUnderTest window(SolidImage(4, 4));
    EXPECT_EQ(window.Captions(), (std::vector<std::string>{FrCaptionPrefix, ReCaptionPrefix, SlopeCaptionPrefix}));
    QStringList shown;
    for (TLabel* label : {window->lblFr, window->lblRe, window->lblSlope})
        shown << static_cast<QLabel*>(label->Widget())->text();
    EXPECT_EQ(shown, QString::fromUtf8("右邊座標:|左邊座標:|斜率:").split('|'));
    EXPECT_TRUE(RecordedMessages().empty());
}

TEST(FormRun, LabelsGrowToTheirCaptions)
{
    WindowUnderTest window(LinePicture({2000, 1500}, {1024, 12}, {1999, 1400}));
    window->Button2->Click();
    for (TLabel* label : {window->lblFr, window->lblRe, window->lblSlope}) {
        auto* widget = static_cast<QLabel*>(label->Widget());
        EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(widget->text()));
    }
    EXPECT_EQ(window->lblFr->Text(), FrCaptionPrefix + "(1024: 12)");
}

}
