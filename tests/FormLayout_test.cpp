#include "FormLayout.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(FormLayout, DamagedTextNamesTheLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "line 0"},
        {"object Form1: TForm1\n  Left = 1\n", "missing 'end'"},
        {"object Form1: TForm1\n  Left = 12x\nend\n", "line 2"},
        {"object Form1: TForm1\n  Caption = 'open\nend\n", "line 2"},
        {"object Form1 TForm1\nend\n", "line 1"},
        {"object Form1: TForm1\nend\nend\n", "after the last"},
        {"object Form1: TForm1\n  Left\nend\n", "line 2"},
    };
    for (const auto& [text, expected] : cases) {
        try {
            ParseLayout(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Exception& failure) {
            EXPECT_NE(failure.Message.find(expected), std::string::npos) << failure.Message;
        }
    }
}

}
