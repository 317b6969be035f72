#pragma once
// Moving a file to another name, replacing a file of that name in one step, so that when the
// move fails the file of that name is still there as it was.

namespace platform {

class FileMove {
public:
    virtual ~FileMove() = default;
    // MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED. True on success.
    virtual bool moveFileEx(const char* from, const char* to) = 0;
};

FileMove& fileMove();
void installFileMove(FileMove* mover);
FileMove& defaultFileMove();

}  // namespace platform
