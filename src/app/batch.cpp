#include "app/batch.h"

#include "app/line_reader.h"
#include "app/runner.h"

bool runBatchFile(Handle instance, const std::string& fileName) {
    LineReader reader;
    if (!openLineReader(reader, fileName)) return false;
    for (;;) {
        std::string line = readLine(reader);
        if (line.empty()) break;
        runCommandLine(instance, line);
        if (runsStopped()) break;
    }
    closeLineReader(reader);
    return true;
}

void commandBatch(Handle instance, const std::string&, const std::string& arguments) {
    runBatchFile(instance, arguments);
}
