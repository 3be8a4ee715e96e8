// What the files of every system share.
#include "platform/os_file.h"

namespace veltrim {

bool may_replace(const FileSink& output, const FileSource& input,
                 const std::vector<FileId>& written, FileId& out_id) {
  FileId in_id;
  if (!output.identity(out_id) || !input.identity(in_id) || out_id == in_id) return false;
  for (const FileId& id : written) {
    if (id == out_id) return false;
  }
  return true;
}

}  // namespace veltrim
