#include "common/TextCleaning.h"

namespace vx8 {

namespace {

bool keep(char16_t c)
{
    return c == 32 || c == 33 || (c >= 35 && c <= 39) || (c >= 44 && c <= 57) || (c >= 65 && c <= 90) ||
           (c >= 97 && c <= 122);
}

} // namespace

QString CleanText(const QString& text, const QString& defaultText)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (keep(c.unicode()))
            kept.append(c);
    }
    kept = kept.trimmed();
    return kept.isEmpty() ? defaultText : kept;
}

} // namespace vx8
