#include "gui/live_panel_widget.h"

#include <QFontMetrics>
#include <QLabel>

#include "datalogs/dashboard.h"
#include "gui/paint_widget.h"

namespace veloquin::gui {

LivePanelWidget::LivePanelWidget(QWidget* parent) : QGroupBox(parent) {
    setGeometry(10, 332, 180, 348);
    const auto labels = live_panel_labels();
    for (int i = 0; i < kLiveFieldCount; ++i) {
        const std::string_view l = labels[static_cast<std::size_t>(i)];
        auto* label = new QLabel(QString::fromUtf8(l.data(), static_cast<int>(l.size())), this);
        label->setGeometry(10, 8 + 20 * i, 80, 18);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* value = new QLabel(this);
        value->setGeometry(100, 8 + 20 * i, 70, 18);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Opaque, so a value that changes 50 times a second repaints only
        // itself, not the framed box behind it.
        value->setAutoFillBackground(true);
        values_[static_cast<std::size_t>(i)] = value;
    }
    // The lower line carries port errors that are worth reading whole, so it
    // wraps onto a second line instead of being cut at the panel's edge.
    upper_ = new QLabel(this);
    upper_->setGeometry(5, 290, 170, 20);
    upper_->setAlignment(Qt::AlignCenter);
    upper_->setFont(shared_font(FontId::small));
    upper_->setAutoFillBackground(true);
    lower_ = new QLabel(this);
    lower_->setGeometry(5, 312, 170, 34);
    lower_->setAlignment(Qt::AlignCenter);
    lower_->setWordWrap(true);
    lower_->setAutoFillBackground(true);
    QFont small = shared_font(FontId::small);
    small.setPixelSize(11);
    lower_->setFont(small);
}

void LivePanelWidget::set_values(const std::array<std::string, kLiveFieldCount>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const QString text = QString::fromStdString(values[i]);
        if (values_[i]->text() != text) values_[i]->setText(text);
    }
}

void LivePanelWidget::set_alarmed(const std::array<bool, kLiveFieldCount>& alarmed, bool bright) {
    for (std::size_t i = 0; i < alarmed.size(); ++i) {
        const int shade = alarmed[i] ? (bright ? 2 : 1) : 0;
        if (shade == shade_[i]) continue;
        shade_[i] = shade;
        QPalette p = values_[i]->parentWidget()->palette();
        if (shade > 0) {
            const Rgb back = shade == 2 ? kAlarmBrightRed : kAlarmRed;
            p.setColor(QPalette::Window, QColor(back.r, back.g, back.b));
            p.setColor(QPalette::WindowText, QColor(140, 0, 0));
        }
        values_[i]->setPalette(p);
    }
}

void LivePanelWidget::set_upper_status(const QString& text) {
    if (upper_->text() != text) upper_->setText(text);
}

void LivePanelWidget::set_lower_status(const QString& text) {
    if (lower_full_ == text) return;
    lower_full_ = text;
    // A port failure can run longer than the two lines the panel has: it is
    // shortened at a word to what fits, the whole text in the tooltip.
    const QFontMetrics metrics(lower_->font());
    const QRect room(0, 0, lower_->width(), lower_->height());
    auto fits = [&](const QString& t) {
        return metrics.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, t).height() <=
               room.height();
    };
    QString shown = text;
    if (!fits(shown)) {
        const QString ellipsis(QChar(0x2026));
        while (!shown.isEmpty() && !fits(shown + ellipsis)) {
            const int space = shown.lastIndexOf(QLatin1Char(' '));
            shown.truncate(space > 0 ? space : shown.size() - 1);
        }
        shown += ellipsis;
    }
    lower_->setText(shown);
    lower_->setToolTip(shown == text ? QString() : text);
}

QString LivePanelWidget::value_text(int field) const {
    return values_[static_cast<std::size_t>(field)]->text();
}

QString LivePanelWidget::upper_status() const {
    return upper_->text();
}

QString LivePanelWidget::lower_status() const {
    return lower_full_;
}

QString LivePanelWidget::lower_status_shown() const {
    return lower_->text();
}

QString LivePanelWidget::lower_status_tooltip() const {
    return lower_->toolTip();
}

}  // namespace veloquin::gui
