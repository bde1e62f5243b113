#include "exchange/scratch_file.h"

namespace korvel {

std::string openScratchFile(ScratchFile& file, FileSystem& files, const std::string& name) {
    const std::string folder = files.privateRuntimeFolder();
    if (folder.empty()) {
        return "临时文件 " + name + " 无法打开: " + files.runtimeFolderProblem();
    }
    const std::string path = joinPath(folder, name);
    return file.open(files, path) == FileError::None ? std::string()
                                                     : "临时文件 " + path + " 无法打开";
}

}  // namespace korvel
