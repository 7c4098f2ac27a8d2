#pragma once
// A host widget whose selection of command-language objects the viewer may
// highlight.  The widget must also be a QObject: the highlight manager finds
// the container it belongs to through its QObject parents.
#include <QString>
#include <set>
#include <string>

class HighlightWgt {
public:
    explicit HighlightWgt(const char* name);
    virtual ~HighlightWgt();  // leaves the highlight manager
    HighlightWgt(const HighlightWgt&) = delete;
    HighlightWgt& operator=(const HighlightWgt&) = delete;

    const char* name() const { return name_.c_str(); }
    // The object paths this widget has selected.
    virtual std::set<QString> getSelection() = 0;

    // Tells the manager that getSelection changed.
    void notifyOfSelectionChange();
    // Claims (on) or releases (off) the viewer's highlight for this widget
    // alone; a claim while another widget holds it is ignored.
    void makeDominantHighlightWgt(bool on);
    // Shows this set in the viewer at once, whoever is current.
    void setHighlightSelection(const std::set<QString>& selection);

private:
    std::string name_;
};
