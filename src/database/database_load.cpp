#include "database/database_load.h"

#include "database/read_records.h"

namespace korvax {

DatabaseLoad LoadStartupDatabase(const std::string& path, VirusDatabase& base) {
    try {
        LoadDatabase(path, base);
        return {true, {}};
    } catch (const DatabaseFormatError& failure) {
        return {true, failure.what()};
    } catch (const Failure& failure) {
        return {false, failure.what()};
    }
}

}  // namespace korvax
