// Docking a processor panel into a site handed to it by a box.
#pragma once

class QWidget;

// Makes panel fill site's client area and shows it.
void KWDockInto(QWidget* panel, QWidget* site);
