// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLabel>

class QPaintEvent;

// A one-line label that, given less room than its text needs, shows the text
// with its middle left out ("/srv/sha…/sys1"), so that both ends of a long
// path stay in sight; text() is always the whole text. It asks for the room
// of a few characters at least, so that a long text never widens its window
// beyond the screen.
class ElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
