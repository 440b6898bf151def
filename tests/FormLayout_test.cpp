#include "FormLayout.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

namespace {

const LayoutValue& valueOf(const LayoutObject& object, const std::string& name)
{
    for (const auto& [key, value] : object.properties)
        if (key == name)
            return value;
    throw std::runtime_error("no property " + name);
}

TEST(FormLayout, ReadsNestedObjectsAndEveryKindOfValue)
{
    const LayoutObject root = ParseLayout(
        "object Form1: TForm1\n"
        "  Left = 229\n"
        "  Font.Height = -11\n"
        "  Caption = 'It''s here'\n"
        "  Font.Style = [fsBold, fsItalic]\n"
        "  Empty = []\n"
        "  Color = clBtnFace\n"
        "  object Button1: TButton\n"
        "    OnClick = Button1Click\n"
        "  end\n"
        "end\n");
    EXPECT_EQ(root.name, "Form1");
    EXPECT_EQ(root.className, "TForm1");
    EXPECT_EQ(valueOf(root, "Left").integer, 229);
    EXPECT_EQ(valueOf(root, "Font.Height").integer, -11);
    EXPECT_EQ(valueOf(root, "Caption").text, "It's here");
    EXPECT_EQ(valueOf(root, "Font.Style").items, (std::vector<std::string>{"fsBold", "fsItalic"}));
    EXPECT_TRUE(valueOf(root, "Empty").items.empty());
    EXPECT_EQ(valueOf(root, "Color").kind, LayoutValue::Kind::Identifier);
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0].name, "Button1");
    EXPECT_EQ(valueOf(root.children[0], "OnClick").text, "Button1Click");
}

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
