#pragma once

#include "platform/SkinLabel.h"

#include <QIcon>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class SkinControl;
class SkinHelper;

// The skin helper, created on first use.
SkinHelper *SkinHelperObject();

// Skins a window with the skin; nothing happens without one.
void ApplySkin(QWidget *form, SkinControl *skin);
void ColorControls(QWidget *form, quint32 c2, quint32 c3, quint32 c4);
void MirrorLabels(QWidget *form, SkinLabelArray &SkinLabel1);
void SetWindowIcons(QWidget *window, const QString &resourceName, bool alsoOwner);

// The type name a control goes by when the skin colours it ("CommandButton",
// "TextBox", "ListBox", "Label", ...; empty for widgets that are not controls
// of their own, such as plain containers). A widget may name its type itself
// with the dynamic property "controlType".
QString ControlTypeName(const QWidget *control);

// The controls of a window in the window's control order: its child widgets,
// depth first in creation order, without the inner parts of a control (the
// scroll bars of a list, the line edit of a combo box) and without other
// windows.
QList<QWidget *> FormControls(QWidget *form);

// The icon group of that name (":/app/icons/<name>.ico"), one image per size,
// the deepest colour of each; a null icon when there is no such group.
QIcon IconGroup(const QString &resourceName);
