#pragma once

#include <QString>

namespace pd::scan {

// Creates the folder of the PDF path with every missing parent. Folders below the temporary
// folder are job folders and come from the private job-folder helper; elsewhere plain folders are
// made. True when the folder may take the file: it exists and, below the temporary folder, passed
// the helper's tests. Throws platform::Error when the path has no folder part.
bool CreatePdfFolder(const QString& pdfPath);

} // namespace pd::scan
