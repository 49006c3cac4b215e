// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialogbase.h"

#include "elidedlabel.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

vorn_filesync_listDialogBase::vorn_filesync_listDialogBase(QWidget *parent, const char *name,
                                                           bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setObjectName(name ? QString::fromLatin1(name)
                       : QStringLiteral("vorn_filesync_listDialogBase"));
    setModal(modal);
    setSizeGripEnabled(true);

    auto *topLayout = new QVBoxLayout(this);
    topLayout->setObjectName(QStringLiteral("vorn_filesync_listDialogBaseLayout"));
    topLayout->setContentsMargins(11, 11, 11, 11);
    topLayout->setSpacing(6);

    buttonGroup1 = new QGroupBox(this);
    buttonGroup1->setObjectName(QStringLiteral("buttonGroup1"));
    auto *groupLayout = new QVBoxLayout(buttonGroup1);
    groupLayout->setSpacing(6);
    groupLayout->setContentsMargins(11, 11, 11, 11);

    // No spacing of its own: the row takes the group layout's.
    auto *row = new QHBoxLayout;
    groupLayout->addLayout(row);
    row->setAlignment(Qt::AlignTop);

    // A long path is shown shortened in its middle, never wider than the screen.
    path = new ElidedLabel(buttonGroup1);
    path->setObjectName(QStringLiteral("path"));
    row->addWidget(path);

    status = new QLabel(buttonGroup1);
    status->setObjectName(QStringLiteral("status"));
    row->addWidget(status);

    topLayout->addWidget(buttonGroup1);
    topLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    languageChange();
    resize(QSize(525, 77).expandedTo(minimumSizeHint()));
}

void vorn_filesync_listDialogBase::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}

void vorn_filesync_listDialogBase::languageChange()
{
    setWindowTitle(tr("Generate  File Sync List"));
    buttonGroup1->setTitle(tr("Path"));
    path->setText(QString());
    status->setText(QString());
}
