// Maps the exception being handled to its entry in the fault table.
#include "proxy/core/RunFault.h"

#include <exception>
#include <filesystem>
#include <new>

RunFault currentFault() noexcept {
    if (!std::current_exception()) {
        return FAULT_INTERNAL;
    }
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return FAULT_OUT_OF_MEMORY;
    } catch (const std::out_of_range&) {
        return FAULT_SUBSCRIPT;
    } catch (const std::length_error&) {
        return FAULT_STRING_SPACE;
    } catch (const std::invalid_argument&) {
        return FAULT_INVALID_CALL;
    } catch (const std::domain_error&) {
        return FAULT_INVALID_CALL;
    } catch (const std::overflow_error&) {
        return FAULT_OVERFLOW;
    } catch (const std::range_error&) {
        return FAULT_OVERFLOW;
    } catch (const FileAccessError&) {
        return FAULT_FILE_ACCESS;
    } catch (const std::filesystem::filesystem_error&) {
        return FAULT_FILE_ACCESS;
    } catch (...) {
        return FAULT_INTERNAL;
    }
}

std::string faultLine(std::string_view prefix) {
    const RunFault fault = currentFault();
    std::string line(prefix);
    line += std::to_string(fault.number);
    line += ' ';
    line += fault.description;
    return line;
}
