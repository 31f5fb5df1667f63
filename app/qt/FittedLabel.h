// A label that never makes its window wider than the screen: in one line
// its text is cut in the middle, or it wraps and cuts only a word too long
// for any line (a path). The whole text stays its accessible name, its
// tooltip where cut, and what Text() gives.
#pragma once

#include <QLabel>

class FittedLabel : public QLabel {
    Q_OBJECT

public:
    enum class Fit { kOneLine, kWrap };
    FittedLabel(Fit fit, QWidget* parent = nullptr);

    // A changed text is announced to screen readers (its name changes).
    void SetText(const QString& text);
    QString Text() const { return m_text; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Refit();
    QString Shown(int width) const;

    Fit m_fit;
    QString m_text;
};
