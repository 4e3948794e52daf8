#include "logging/log_handler.hpp"

#include "logging/logger.hpp"

namespace lumenary::logging {

void LogHandler::log(LogLevel level, const std::string& message, const Metadata* metadata, std::string_view file,
                     std::string_view function, std::size_t line) const {
    log(level, message, metadata, Logger::currentModule(Logger::FilePath{file}), file, function, line);
}

}  // namespace lumenary::logging
