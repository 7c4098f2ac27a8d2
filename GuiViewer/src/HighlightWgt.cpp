#include "GuiViewer/src/HighlightWgt.h"

#include "GuiViewer/src/HighlightManager.h"

HighlightWgt::HighlightWgt(const char* name) : name_(name ? name : "") {}

HighlightWgt::~HighlightWgt() { HighlightManager::instance()->removeWgt(this); }

void HighlightWgt::notifyOfSelectionChange() { HighlightManager::instance()->notifySelectionChange(this); }

void HighlightWgt::makeDominantHighlightWgt(bool on) { HighlightManager::instance()->setAsDominantWgt(this, on); }

void HighlightWgt::setHighlightSelection(const std::set<QString>& selection) {
    HighlightManager::instance()->setHighlightSelection(selection);
}
