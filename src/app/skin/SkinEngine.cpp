// The skin engine: a small shared library that the program writes to disk and loads at
// start. It reads a skin file and turns it into a style sheet for the running application.
//
// Skin file format, UTF-8 text:
//   first line   "whois-skin 1"
//   other lines  "key = value"; blank lines and lines starting with '#' are skipped
// Keys are colour roles (window, text, base, button, button-text, accent, border, disabled)
// given as #rrggbb, and "radius" in pixels. Unknown keys and malformed lines are ignored, so
// an older engine reads a newer skin.
#include <QApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QString>

namespace {

constexpr int kAttached = 1;
constexpr int kNotAttached = 0;

QHash<QString, QString> ReadSkin(const QString& path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return values;
    }
    const QStringList lines = QString::fromUtf8(file.read(64 * 1024)).split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.first().trimmed() != QLatin1String("whois-skin 1")) {
        return values;
    }
    const QRegularExpression colour(QStringLiteral("^#[0-9a-fA-F]{6}$"));
    const QRegularExpression number(QStringLiteral("^[0-9]{1,2}$"));
    for (const QString& raw : lines.mid(1)) {
        const QString line = raw.trimmed();
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || equals < 1) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        // Only plain colours and small numbers reach the style sheet, never free text.
        if (colour.match(value).hasMatch() || number.match(value).hasMatch()) {
            values.insert(key, value);
        }
    }
    return values;
}

QString StyleSheetFor(const QHash<QString, QString>& skin)
{
    const auto get = [&skin](const char* key, const char* fallback) {
        return skin.value(QLatin1String(key), QLatin1String(fallback));
    };
    const QString window = get("window", "#f5f6f8");
    const QString text = get("text", "#1f2328");
    const QString base = get("base", "#ffffff");
    const QString button = get("button", "#e9ecf1");
    const QString buttonText = get("button-text", "#1f2328");
    const QString accent = get("accent", "#2b6cb0");
    const QString border = get("border", "#c5cad3");
    const QString disabled = get("disabled", "#eef0f3");
    const QString radius = get("radius", "3");

    return QStringLiteral("QWidget { background: %1; color: %2; }"
                          "QLineEdit, QPlainTextEdit { background: %3; border: 1px solid %7;"
                          " border-radius: %9px; selection-background-color: %6; }"
                          "QLineEdit:focus, QPlainTextEdit:focus { border-color: %6; }"
                          // The answer's selection shows only while the box has the focus.
                          "QPlainTextEdit:!focus { selection-background-color: transparent;"
                          " selection-color: %2; }"
                          "QLineEdit:disabled { background: %8; color: %2; }"
                          "QPushButton { background: %4; color: %5; border: 1px solid %7;"
                          " border-radius: %9px; padding: 2px; }"
                          "QPushButton:hover { border-color: %6; }"
                          "QPushButton:pressed { background: %6; color: %3; }"
                          "QPushButton:focus { border-color: %6; }")
        .arg(window, text, base, button, buttonText, accent, border, disabled, radius);
}

} // namespace

// Applies the skin in `skinFile` to the running application. The password protects
// nothing in this format and is accepted for the sake of the calling convention. Returns 1
// when a skin was applied, 0 when there was no application or no readable skin.
extern "C" __attribute__((visibility("default"))) int SkinH_AttachEx(const char* skinFile,
                                                                     const char* password)
{
    (void)password;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || skinFile == nullptr) {
        return kNotAttached;
    }
    const QHash<QString, QString> skin = ReadSkin(QString::fromLocal8Bit(skinFile));
    if (skin.isEmpty()) {
        return kNotAttached;
    }
    app->setStyleSheet(StyleSheetFor(skin));
    return kAttached;
}
