// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "elidedlabel.h"

#include <QPainter>
#include <QStyle>

namespace {

// The least a label shows, in characters, an ellipsis included.
constexpr int LeastCharacters = 12;

} // namespace

QSize ElidedLabel::minimumSizeHint() const
{
    QSize hint = QLabel::minimumSizeHint();
    hint.setWidth(qMin(hint.width(), fontMetrics().averageCharWidth() * LeastCharacters));
    return hint;
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect room = contentsRect();
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()),
                          foregroundRole());
}
