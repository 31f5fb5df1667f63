#include "app/qt/FittedLabel.h"

#include <QResizeEvent>

namespace {

// Wide enough for a short sentence; anything longer wraps or is cut.
constexpr int kMinimumCharacters = 20;

}  // namespace

FittedLabel::FittedLabel(Fit fit, QWidget* parent) : QLabel(parent), m_fit(fit) {
    setTextFormat(Qt::PlainText);
    setWordWrap(fit == Fit::kWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSizePolicy(QSizePolicy::Ignored, fit == Fit::kWrap ? QSizePolicy::Minimum : QSizePolicy::Fixed);
}

void FittedLabel::SetText(const QString& text) {
    if (text == m_text && text == accessibleName()) return;
    m_text = text;
    // Set before the shown text, so that Qt does not announce the cut one;
    // the change of name is what a screen reader hears.
    setAccessibleName(text);
    Refit();
}

QSize FittedLabel::minimumSizeHint() const {
    const int width = fontMetrics().averageCharWidth() * kMinimumCharacters;
    return {width, m_fit == Fit::kWrap ? heightForWidth(width) : QLabel::minimumSizeHint().height()};
}

QSize FittedLabel::sizeHint() const {
    const QSize whole = QLabel::sizeHint();
    return {qMin(whole.width(), minimumSizeHint().width()), whole.height()};
}

void FittedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) Refit();
}

void FittedLabel::Refit() {
    const QString shown = Shown(contentsRect().width());
    if (shown != text()) QLabel::setText(shown);
    setToolTip(shown == m_text ? QString() : m_text);
}

// Words that fit stay whole; a longer one loses its middle, where a path
// says least.
QString FittedLabel::Shown(int width) const {
    if (width <= 0) return m_text;
    const QFontMetrics metrics = fontMetrics();
    if (m_fit == Fit::kOneLine) {
        QString line = m_text;
        line.replace(u'\n', u' ');
        return metrics.elidedText(line, Qt::ElideMiddle, width);
    }
    QStringList words = m_text.split(u' ');
    for (QString& word : words) {
        if (metrics.horizontalAdvance(word) > width) word = metrics.elidedText(word, Qt::ElideMiddle, width);
    }
    return words.join(u' ');
}
