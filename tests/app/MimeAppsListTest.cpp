#include "MimeAppsList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ids = std::vector<std::string>;
constexpr const char* kDefaults = "Default Applications";

TEST(MimeAppsList, ReadsTheIdsOfAKeyInItsGroupOnly)
{
    struct Case {
        const char* name;
        std::string text;
        const char* key;
        Ids expected;
    };
    const Case cases[] = {
        {"plain",
         "[Default Applications]\naudio/mpeg=a.desktop;b.desktop;\n",
         "audio/mpeg",
         {"a.desktop", "b.desktop"}},
        {"blanks around equals and ids",
         "[Default Applications]\n  audio/mpeg = a.desktop ; b.desktop\n",
         "audio/mpeg",
         {"a.desktop", "b.desktop"}},
        {"carriage returns",
         "[Default Applications]\r\naudio/mpeg=a.desktop;\r\n",
         "audio/mpeg",
         {"a.desktop"}},
        {"empty ids dropped",
         "[Default Applications]\naudio/mpeg=;;a.desktop;;\n",
         "audio/mpeg",
         {"a.desktop"}},
        {"first of two lines",
         "[Default Applications]\naudio/mpeg=a.desktop;\naudio/mpeg=b.desktop;\n",
         "audio/mpeg",
         {"a.desktop"}},
        {"other group", "[Added Associations]\naudio/mpeg=a.desktop;\n", "audio/mpeg", {}},
        {"before any group", "audio/mpeg=a.desktop;\n[Default Applications]\n", "audio/mpeg", {}},
        {"a longer key is another key", "[Default Applications]\naudio/mpeg3=a.desktop;\n", "audio/mpeg", {}},
        {"comment", "[Default Applications]\n#audio/mpeg=a.desktop;\n", "audio/mpeg", {}},
        {"group opened again",
         "[Default Applications]\n[Other]\n[Default Applications]\naudio/mpeg=c.desktop\n",
         "audio/mpeg",
         {"c.desktop"}},
    };
    for (const Case& c : cases) {
        const CMimeAppsList list(c.text);
        EXPECT_EQ(list.Values(kDefaults, c.key), c.expected) << c.name;
    }
}

TEST(MimeAppsList, UntouchedTextComesBackByteForByte)
{
    const std::string texts[] = {
        "",
        "no line feed at the end",
        "[Default Applications]\naudio/mpeg=a.desktop;\n\n# comment\n",
        std::string("\0\x01\xff[\n=\r\n\n\n", 10),
    };
    for (const std::string& text : texts)
        EXPECT_EQ(CMimeAppsList(text).Text(), text);
}

TEST(MimeAppsList, SetValuesEditsOnlyTheKeysLines)
{
    struct Case {
        const char* name;
        std::string before;
        const char* key;
        Ids ids;
        std::string after;
    };
    const Case cases[] = {
        {"replaced where it stands",
         "# mine\n[Default "
         "Applications]\ntext/plain=ed.desktop;\naudio/mpeg=old.desktop;\nimage/png=view.desktop;\n",
         "audio/mpeg",
         {"new.desktop", "old.desktop"},
         "# mine\n[Default Applications]\ntext/plain=ed.desktop;\naudio/mpeg=new.desktop;old.desktop;\n"
         "image/png=view.desktop;\n"},
        {"added after the group's last entry, before its blank line and the next group",
         "[Default Applications]\ntext/plain=ed.desktop;\n# trailing comment\n\n[Added "
         "Associations]\nx/y=z;\n",
         "audio/mpeg",
         {"new.desktop"},
         "[Default Applications]\ntext/plain=ed.desktop;\naudio/mpeg=new.desktop;\n# trailing comment\n\n"
         "[Added Associations]\nx/y=z;\n"},
        {"added right after the header of an empty group",
         "[Default Applications]\n\n[Other]\n",
         "audio/mpeg",
         {"new.desktop"},
         "[Default Applications]\naudio/mpeg=new.desktop;\n\n[Other]\n"},
        {"group added at the end, set apart by a blank line",
         "[Added Associations]\nx/y=z;",
         "audio/mpeg",
         {"new.desktop"},
         "[Added Associations]\nx/y=z;\n\n[Default Applications]\naudio/mpeg=new.desktop;\n"},
        {"group added to an empty file",
         "",
         "audio/mpeg",
         {"new.desktop"},
         "[Default Applications]\naudio/mpeg=new.desktop;\n"},
        {"every line in every instance set",
         "[Default Applications]\na/b=x;\n[O]\na/b=keep;\n[Default Applications]\na/b=y;\n",
         "a/b",
         {"n.desktop"},
         "[Default Applications]\na/b=n.desktop;\n[O]\na/b=keep;\n[Default Applications]\na/b=n.desktop;\n"},
        {"no ids removes every line",
         "[Default Applications]\na/b=x;\nc/d=e;\na/b=y;\n[O]\na/b=keep;\n",
         "a/b",
         {},
         "[Default Applications]\nc/d=e;\n[O]\na/b=keep;\n"},
        {"no ids for an absent key changes nothing",
         "[Default Applications]\nc/d=e;",
         "a/b",
         {},
         "[Default Applications]\nc/d=e;"},
        {"carriage returns of other lines kept",
         "[Default Applications]\r\na/b=x;\r\nc/d=e;\r\n",
         "a/b",
         {"n"},
         "[Default Applications]\r\na/b=n;\nc/d=e;\r\n"},
        {"garbage lines kept in place",
         std::string("[Default Applications]\n\x01\x02garbage\na/b=x;\n\xff\n"),
         "a/b",
         {"n"},
         std::string("[Default Applications]\n\x01\x02garbage\na/b=n;\n\xff\n")},
    };
    for (const Case& c : cases) {
        CMimeAppsList list(c.before);
        list.SetValues(kDefaults, c.key, c.ids);
        EXPECT_EQ(list.Text(), c.after) << c.name;
    }
}

} // namespace
