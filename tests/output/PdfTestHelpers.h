#pragma once
// Reading PDF pages back the way a user's tools do: poppler's pdftoppm
// renders a page to PNG, pdfinfo reports the document's properties.
#include <QImage>
#include <QString>

namespace pdftest {

// True when pdftoppm and pdfinfo can be run.
bool HavePoppler();
// Page 1 of the PDF at `dpi`, anti-aliasing off (so edges are exact) or
// on, also left beside it as <pdf>.page.png to look at; a null image when
// poppler cannot read the file.
QImage RenderPage(const QString& pdf, int dpi, bool antialias = false);
// One field of pdfinfo's report ("Title", "Pages", "Page size"); empty
// when the file cannot be read or has no such field.
QString Info(const QString& pdf, const QString& field);

}  // namespace pdftest
