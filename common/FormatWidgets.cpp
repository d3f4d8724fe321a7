#include "common/FormatWidgets.h"

#include "common/Formatting.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace vx8 {

QString FormatGasEdit(QLineEdit* edit, int raw, int code, bool appendUnit)
{
    bool low = false;
    const QString text = FormatGasEditText(raw, code, appendUnit, &low);
    if (edit) {
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Text,
                         low ? GasEditLowColor : QApplication::palette(edit).color(QPalette::Text));
        edit->setPalette(palette);
    }
    return text;
}

int MemoLineCount(const QPlainTextEdit* memo)
{
    if (!memo || memo->document()->isEmpty())
        return 0;
    return memo->document()->blockCount();
}

bool AddMemoLine(QPlainTextEdit* memo, const QString& line, int limit)
{
    if (!memo)
        return false;
    if (MemoLineCount(memo) > limit)
        memo->clear();
    memo->appendPlainText(line);
    return true;
}

} // namespace vx8
