#include "TwinLanternApp/ui/frame/Markdown.h"
#include "TwinLanternApp/ui/frame/Footnote.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <gtest/gtest.h>

using namespace twinlantern::ui;

namespace {

// The fragments of the document with their formats, in order.
struct Span {
    QString text;
    bool bold;
    bool mono;
    bool link;
};

std::vector<Span> spans(const QTextDocument& doc) {
    std::vector<Span> out;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat format = f.charFormat();
            out.push_back({f.text(), format.fontWeight() >= QFont::Bold,
                           format.fontFixedPitch() || format.fontFamilies().toStringList().contains(
                                                          QStringLiteral("monospace")),
                           format.isAnchor()});
        }
    }
    return out;
}

const Span* find(const std::vector<Span>& all, const QString& text) {
    for (const Span& r : all) {
        if (r.text.contains(text)) {
            return &r;
        }
    }
    return nullptr;
}

TEST(Markdown, ALineBreakAndBoldBothHold) {
    const auto doc = markdownDocument("First line\nthe **word** here");
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("First line\nthe word here"));
    const auto all = spans(*doc);
    const Span* word = find(all, QStringLiteral("word"));
    ASSERT_NE(word, nullptr);
    EXPECT_TRUE(word->bold);
    EXPECT_EQ(word->text, QStringLiteral("word"));
    EXPECT_FALSE(find(all, QStringLiteral("here"))->bold);
}

TEST(Markdown, ACodeSpanIsMonospacedAndALinkIsALink) {
    const auto doc =
        markdownDocument("Span `twinlantern doctor` or see [help](https://example.com).");
    const auto all = spans(*doc);
    const Span* code = find(all, QStringLiteral("twinlantern doctor"));
    ASSERT_NE(code, nullptr);
    EXPECT_TRUE(code->mono);
    EXPECT_FALSE(find(all, QStringLiteral("Span"))->mono);
    const Span* link = find(all, QStringLiteral("help"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->link);
}

TEST(Markdown, BlockSyntaxAndHtmlStayLiteral) {
    const struct {
        std::string source;
        QString shown;
    } cases[] = {
        {"# x", QStringLiteral("# x")},
        {"- y", QStringLiteral("- y")},
        {"<b>R&D</b>", QStringLiteral("<b>R&D</b>")},
        {"a\n> quoted\n1. one\n2) two\n+ plus\n* star",
         QStringLiteral("a\n> quoted\n1. one\n2) two\n+ plus\n* star")},
        {"under\n---", QStringLiteral("under\n---")},
        {"under\n===", QStringLiteral("under\n===")},
        {"```\ncode\n```", QStringLiteral("```\ncode\n```")},
        {"    indented", QStringLiteral("\u00A0\u00A0\u00A0\u00A0indented")},
        {"[ref]: https://example.com", QStringLiteral("[ref]: https://example.com")},
        {"one\n\nthree", QStringLiteral("one\n\u00A0\nthree")},
        {"ends with \\\nnext", QStringLiteral("ends with \\\nnext")},
    };
    for (const auto& c : cases) {
        const auto doc = markdownDocument(c.source);
        // toRawText keeps no-break spaces; line breaks are U+2028 or block ends.
        QString shown = doc->toRawText();
        shown.replace(QChar(0x2028), QChar(u'\n')).replace(QChar(0x2029), QChar(u'\n'));
        EXPECT_EQ(shown, c.shown) << c.source;
        for (const Span& r : spans(*doc)) {
            EXPECT_FALSE(r.bold) << c.source;
        }
    }
    // Inline marks at a line's start still count.
    const auto doc = markdownDocument("**bold** start\n*it* too");
    EXPECT_TRUE(find(spans(*doc), QStringLiteral("bold"))->bold);
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("bold start\nit too"));
}

TEST(Markdown, InvalidUtf8IsShownPlain) {
    const auto doc = markdownDocument(std::string_view("**a**\xff", 6));
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("**a**\uFFFD"));
}

TEST(Footnote, StylesItsMarksAndWrapsEveryLine) {
    Footnote note("Type `twinlantern which` in a folder, or read the [guide](https://example.com). "
                  "This sentence is long enough to need more than one line at this width.");
    EXPECT_EQ(note.textFormat(), Qt::RichText);
    EXPECT_TRUE(note.wordWrap());
    EXPECT_TRUE(note.text().contains(QStringLiteral("href=\"https://example.com\"")));
    EXPECT_FALSE(note.text().contains(QStringLiteral("`")));
    note.setFixedWidth(200);
    const int oneLine = note.fontMetrics().height();
    EXPECT_GT(note.heightForWidth(200), oneLine * 3);
    EXPECT_GE(note.font().pointSizeF(), 9.0);
    EXPECT_EQ(note.accessibleName().left(4), QStringLiteral("Type"));
}

} // namespace
