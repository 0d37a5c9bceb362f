// The export's forms and files; see export_writer.h.
#include "export/export_writer.h"

#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::wstring_view kTempSuffix = L".tmp";

size_t ExtensionStart(std::wstring_view path) {
  const size_t name = path.size() - FileNameOf(path).size();
  const size_t dot = path.rfind(L'.');
  return dot == std::wstring_view::npos || dot < name ? path.size() : dot;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view lowerB) {
  if (a.size() != lowerB.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const wchar_t c = (a[i] >= L'A' && a[i] <= L'Z') ? static_cast<wchar_t>(a[i] + 32) : a[i];
    if (c != lowerB[i]) return false;
  }
  return true;
}

void AppendJsonString(std::string& out, std::wstring_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (char c : WideToUtf8(text)) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20) {
      out += "\\u00";
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

void AppendJsonValue(std::string& out, const ExportCell& cell, ExportKind kind) {
  if (!cell) {
    out += "null";
  } else if (kind == ExportKind::Text) {
    AppendJsonString(out, *cell);
  } else {
    out += WideToUtf8(*cell);  // numbers and true / false, written by the column tables
  }
}

}  // namespace

std::optional<ExportFormat> ExportFormatOf(std::wstring_view path) {
  const std::wstring_view extension = path.substr(ExtensionStart(path));
  if (EqualsNoCase(extension, L".csv")) return ExportFormat::Csv;
  if (EqualsNoCase(extension, L".json")) return ExportFormat::Json;
  return std::nullopt;
}

std::wstring SiblingPath(std::wstring_view path, std::wstring_view suffix) {
  const size_t at = ExtensionStart(path);
  std::wstring out(path.substr(0, at));
  out += suffix;
  out += path.substr(at);
  return out;
}

std::wstring_view FileNameOf(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

void AppendCsvField(std::string& out, std::wstring_view text) {
  const std::string bytes = WideToUtf8(text);
  if (bytes.find_first_of(",\"\r\n") == std::string::npos) {
    out += bytes;
    return;
  }
  out.push_back('"');
  for (char c : bytes) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

std::string CsvText(const ExportTable& table) {
  std::string out(kUtf8Bom);
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) out.push_back(',');
    AppendCsvField(out, table.columns[i].name);
  }
  out += "\r\n";
  for (const std::vector<ExportCell>& row : table.rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out.push_back(',');
      if (row[i]) AppendCsvField(out, *row[i]);
    }
    out += "\r\n";
  }
  return out;
}

std::string JsonText(const ExportDocument& doc) {
  std::string out = "{\n  \"version\": ";
  AppendJsonString(out, doc.version);
  out += ",\n  \"time\": ";
  AppendJsonString(out, doc.time);
  for (const ExportTable& table : doc.tables) {
    out += ",\n  \"";
    out += table.key;
    out += "\": [";
    for (size_t r = 0; r < table.rows.size(); ++r) {
      out += r == 0 ? "\n    {" : ",\n    {";
      for (size_t i = 0; i < table.columns.size() && i < table.rows[r].size(); ++i) {
        if (i > 0) out += ", ";
        AppendJsonString(out, table.columns[i].name);
        out += ": ";
        AppendJsonValue(out, table.rows[r][i], table.columns[i].kind);
      }
      out.push_back('}');
    }
    out += table.rows.empty() ? "]" : "\n  ]";
  }
  out += "\n}\n";
  return out;
}

std::wstring TabSeparatedText(const ExportTable& table) {
  std::wstring out;
  auto field = [&out](std::wstring_view text) {
    for (wchar_t c : text) out.push_back(c == L'\t' || c == L'\r' || c == L'\n' ? L' ' : c);
  };
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) out.push_back(L'\t');
    field(table.columns[i].name);
  }
  out += L"\r\n";
  for (const std::vector<ExportCell>& row : table.rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) out.push_back(L'\t');
      if (row[i]) field(*row[i]);
    }
    out += L"\r\n";
  }
  return out;
}

std::vector<ExportFile> ExportFiles(const ExportDocument& doc, const std::wstring& path, ExportFormat format) {
  std::vector<ExportFile> out;
  if (format == ExportFormat::Json) {
    out.push_back(ExportFile{path, JsonText(doc)});
    return out;
  }
  for (const ExportTable& table : doc.tables)
    out.push_back(ExportFile{SiblingPath(path, table.fileSuffix), CsvText(table)});
  return out;
}

bool WriteExportFiles(FileSystem& files, const std::vector<ExportFile>& out, ExportFailure& failure) {
  const auto temp = [&out](size_t i) { return out[i].path + std::wstring(kTempSuffix); };
  // Removes the temporary files from..to-1 once the failure and its reason are recorded.
  const auto fail = [&](const wchar_t* action, size_t i, size_t from, size_t to) {
    failure = ExportFailure{action, out[i].path, files.LastErrorText()};
    for (size_t k = from; k < to; ++k) files.Remove(temp(k));
    return false;
  };
  for (size_t i = 0; i < out.size(); ++i) {
    if (!files.WriteDurable(temp(i), out[i].bytes)) return fail(L"could not write", i, 0, i + 1);
  }
  for (size_t i = 0; i < out.size(); ++i) {
    if (!files.MoveReplacing(temp(i), out[i].path)) return fail(L"could not replace", i, i, out.size());
  }
  return true;
}

}  // namespace tolvane
