// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>

class QEvent;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// The look of the program's only window: a "Path" group holding the source
// directory and the outcome side by side. It builds the widgets and sets the
// texts, nothing more; the widgets belong to it through Qt's parent-child tree.
class vorn_filesync_listDialogBase : public QDialog
{
    Q_OBJECT

public:
    explicit vorn_filesync_listDialogBase(QWidget *parent = nullptr, const char *name = nullptr,
                                          bool modal = false, Qt::WindowFlags fl = {});

protected:
    void changeEvent(QEvent *event) override;

    QGroupBox *buttonGroup1;
    QLabel *path;
    QLabel *status;

protected slots:
    virtual void languageChange();
};
