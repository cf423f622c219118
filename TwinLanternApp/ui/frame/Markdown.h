#pragma once

#include <memory>
#include <string>
#include <string_view>

class QLabel;
class QTextDocument;

// Short texts with inline Markdown only: emphasis, strong, code spans and links count;
// line breaks and spaces stay as written; block syntax ("# x", "- y", "> z") and HTML
// stay literal. Invalid UTF-8 is shown plain.
namespace twinlantern::ui {

// The source rewritten so that only inline marks can take effect: each line break
// made hard, leading spaces kept as no-break spaces, block markers at line starts
// escaped.
std::string inlineOnlyMarkdown(std::string_view source);

// The document the text shows: the rewritten source through QTextDocument's Markdown
// reader without HTML, or the plain text when the bytes are not valid UTF-8.
std::unique_ptr<QTextDocument> markdownDocument(std::string_view source);

// Shows the text in a label (links open outside), wrapping onto as many lines as needed.
void setMarkdown(QLabel* label, std::string_view source);

} // namespace twinlantern::ui
