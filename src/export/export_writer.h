// The forms of an export and how they reach the disk.
//
// CSV (RFC 4180): UTF-8 with a byte-order mark, so that spreadsheet programs take it as UTF-8;
// CR LF line ends; a field with a comma, a quote, a CR or an LF is quoted, its quotes doubled; a
// header row of the column names. The first table goes to the chosen file, each other one to a file
// beside it named after it ("x.csv", "x-calls.csv"). JSON: one UTF-8 document, an object with the
// version, the time and one array of row objects per table. The clipboard's table: tab-separated
// with a header row, CR LF line ends, each tab or line break inside a value turned into a space.
//
// Writing goes through temporary files and replacing moves: every file is first written whole
// beside its target (name + ".tmp"), and only when all of them were written are they moved over
// the targets. A failure removes the temporary files and leaves every earlier file as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_table.h"
#include "platform/files.h"

namespace tolvane {

enum class ExportFormat { Csv, Json };

// By the path's extension, in any letter case: ".csv" or ".json"; nullopt for anything else.
std::optional<ExportFormat> ExportFormatOf(std::wstring_view path);
// path with suffix put before its extension: ("C:\a\x.csv", "-calls") gives "C:\a\x-calls.csv".
std::wstring SiblingPath(std::wstring_view path, std::wstring_view suffix);
// The file name of a path (after its last "\" or "/").
std::wstring_view FileNameOf(std::wstring_view path);

// One RFC 4180 field, UTF-8, quoted when it needs to be.
void AppendCsvField(std::string& out, std::wstring_view text);
std::string CsvText(const ExportTable& table);
std::string JsonText(const ExportDocument& doc);
std::wstring TabSeparatedText(const ExportTable& table);

struct ExportFile {
  std::wstring path;
  std::string bytes;
};

// The files of an export to path in the given form: one for JSON, one per table for CSV.
std::vector<ExportFile> ExportFiles(const ExportDocument& doc, const std::wstring& path, ExportFormat format);

struct ExportFailure {
  std::wstring action;  // "could not write" or "could not replace"
  std::wstring path;    // the target file
  std::wstring reason;  // the system's words ("Access is denied"), or empty
};

// Writes the files as described above; false with failure filled in when any step failed.
bool WriteExportFiles(FileSystem& files, const std::vector<ExportFile>& out, ExportFailure& failure);

}  // namespace tolvane
