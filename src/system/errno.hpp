#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace lumenary::system {

// One platform error number, as `errno` holds it after a failed system call.
// Any number makes an Errno, known to the C library or not. The named
// constants take their numbers from the C library's own macros; the macro
// names themselves (EINTR, ENOENT, ...) make the same values through
// `Errno{EINTR}`. Some pairs are one number here: EAGAIN and EWOULDBLOCK,
// ENOTSUP and EOPNOTSUPP. `attributeNotFound` is ENODATA, what the extended
// attribute calls report on this system.
class Errno {
public:
    constexpr explicit Errno(std::int32_t rawValue) noexcept : rawValue_(rawValue) {}

    constexpr std::int32_t rawValue() const noexcept { return rawValue_; }

    // The C library's message for the number, in the current locale, read
    // with the thread-safe call; "unknown error" only when it gives none.
    std::string description() const;
    std::string debugDescription() const { return description(); }

    std::error_code errorCode() const noexcept { return {rawValue_, std::generic_category()}; }

    friend constexpr bool operator==(Errno, Errno) noexcept = default;

    // The error number of the calling thread's last failed call.
    static Errno current() noexcept { return Errno{errno}; }

    static const Errno notPermitted;  // EPERM
    static const Errno noSuchFileOrDirectory;  // ENOENT
    static const Errno noSuchProcess;  // ESRCH
    static const Errno interrupted;  // EINTR
    static const Errno ioError;  // EIO
    static const Errno noSuchAddressOrDevice;  // ENXIO
    static const Errno argListTooLong;  // E2BIG
    static const Errno execFormatError;  // ENOEXEC
    static const Errno badFileDescriptor;  // EBADF
    static const Errno noChildProcess;  // ECHILD
    static const Errno deadlock;  // EDEADLK
    static const Errno noMemory;  // ENOMEM
    static const Errno permissionDenied;  // EACCES
    static const Errno badAddress;  // EFAULT
    static const Errno notBlockDevice;  // ENOTBLK
    static const Errno resourceBusy;  // EBUSY
    static const Errno fileExists;  // EEXIST
    static const Errno improperLink;  // EXDEV
    static const Errno operationNotSupportedByDevice;  // ENODEV
    static const Errno notDirectory;  // ENOTDIR
    static const Errno isDirectory;  // EISDIR
    static const Errno invalidArgument;  // EINVAL
    static const Errno tooManyOpenFilesInSystem;  // ENFILE
    static const Errno tooManyOpenFiles;  // EMFILE
    static const Errno inappropriateIOCTLForDevice;  // ENOTTY
    static const Errno textFileBusy;  // ETXTBSY
    static const Errno fileTooLarge;  // EFBIG
    static const Errno noSpace;  // ENOSPC
    static const Errno illegalSeek;  // ESPIPE
    static const Errno readOnlyFileSystem;  // EROFS
    static const Errno tooManyLinks;  // EMLINK
    static const Errno brokenPipe;  // EPIPE
    static const Errno outOfDomain;  // EDOM
    static const Errno outOfRange;  // ERANGE
    static const Errno resourceTemporarilyUnavailable;  // EAGAIN
    static const Errno wouldBlock;  // EWOULDBLOCK
    static const Errno nowInProgress;  // EINPROGRESS
    static const Errno alreadyInProcess;  // EALREADY
    static const Errno notSocket;  // ENOTSOCK
    static const Errno addressRequired;  // EDESTADDRREQ
    static const Errno messageTooLong;  // EMSGSIZE
    static const Errno protocolWrongTypeForSocket;  // EPROTOTYPE
    static const Errno protocolNotAvailable;  // ENOPROTOOPT
    static const Errno protocolNotSupported;  // EPROTONOSUPPORT
    static const Errno socketTypeNotSupported;  // ESOCKTNOSUPPORT
    static const Errno notSupported;  // ENOTSUP
    static const Errno protocolFamilyNotSupported;  // EPFNOSUPPORT
    static const Errno addressFamilyNotSupported;  // EAFNOSUPPORT
    static const Errno addressInUse;  // EADDRINUSE
    static const Errno addressNotAvailable;  // EADDRNOTAVAIL
    static const Errno networkDown;  // ENETDOWN
    static const Errno networkUnreachable;  // ENETUNREACH
    static const Errno networkReset;  // ENETRESET
    static const Errno connectionAbort;  // ECONNABORTED
    static const Errno connectionReset;  // ECONNRESET
    static const Errno noBufferSpace;  // ENOBUFS
    static const Errno socketIsConnected;  // EISCONN
    static const Errno socketNotConnected;  // ENOTCONN
    static const Errno socketShutdown;  // ESHUTDOWN
    static const Errno tooManyReferences;  // ETOOMANYREFS
    static const Errno timedOut;  // ETIMEDOUT
    static const Errno connectionRefused;  // ECONNREFUSED
    static const Errno tooManySymbolicLinkLevels;  // ELOOP
    static const Errno fileNameTooLong;  // ENAMETOOLONG
    static const Errno hostIsDown;  // EHOSTDOWN
    static const Errno noRouteToHost;  // EHOSTUNREACH
    static const Errno directoryNotEmpty;  // ENOTEMPTY
    static const Errno tooManyUsers;  // EUSERS
    static const Errno diskQuotaExceeded;  // EDQUOT
    static const Errno staleNFSFileHandle;  // ESTALE
    static const Errno tooManyRemoteLevels;  // EREMOTE
    static const Errno noLocks;  // ENOLCK
    static const Errno noFunction;  // ENOSYS
    static const Errno overflow;  // EOVERFLOW
    static const Errno canceled;  // ECANCELED
    static const Errno identifierRemoved;  // EIDRM
    static const Errno noMessage;  // ENOMSG
    static const Errno illegalByteSequence;  // EILSEQ
    static const Errno attributeNotFound;  // ENODATA
    static const Errno badMessage;  // EBADMSG
    static const Errno multiHop;  // EMULTIHOP
    static const Errno noData;  // ENODATA
    static const Errno noLink;  // ENOLINK
    static const Errno noStreamResources;  // ENOSR
    static const Errno notStream;  // ENOSTR
    static const Errno protocolError;  // EPROTO
    static const Errno timeout;  // ETIME
    static const Errno notSupportedOnSocket;  // EOPNOTSUPP
    static const Errno notRecoverable;  // ENOTRECOVERABLE
    static const Errno previousOwnerDied;  // EOWNERDEAD

private:
    std::int32_t rawValue_;
};

inline constexpr Errno Errno::notPermitted{EPERM};
inline constexpr Errno Errno::noSuchFileOrDirectory{ENOENT};
inline constexpr Errno Errno::noSuchProcess{ESRCH};
inline constexpr Errno Errno::interrupted{EINTR};
inline constexpr Errno Errno::ioError{EIO};
inline constexpr Errno Errno::noSuchAddressOrDevice{ENXIO};
inline constexpr Errno Errno::argListTooLong{E2BIG};
inline constexpr Errno Errno::execFormatError{ENOEXEC};
inline constexpr Errno Errno::badFileDescriptor{EBADF};
inline constexpr Errno Errno::noChildProcess{ECHILD};
inline constexpr Errno Errno::deadlock{EDEADLK};
inline constexpr Errno Errno::noMemory{ENOMEM};
inline constexpr Errno Errno::permissionDenied{EACCES};
inline constexpr Errno Errno::badAddress{EFAULT};
inline constexpr Errno Errno::notBlockDevice{ENOTBLK};
inline constexpr Errno Errno::resourceBusy{EBUSY};
inline constexpr Errno Errno::fileExists{EEXIST};
inline constexpr Errno Errno::improperLink{EXDEV};
inline constexpr Errno Errno::operationNotSupportedByDevice{ENODEV};
inline constexpr Errno Errno::notDirectory{ENOTDIR};
inline constexpr Errno Errno::isDirectory{EISDIR};
inline constexpr Errno Errno::invalidArgument{EINVAL};
inline constexpr Errno Errno::tooManyOpenFilesInSystem{ENFILE};
inline constexpr Errno Errno::tooManyOpenFiles{EMFILE};
inline constexpr Errno Errno::inappropriateIOCTLForDevice{ENOTTY};
inline constexpr Errno Errno::textFileBusy{ETXTBSY};
inline constexpr Errno Errno::fileTooLarge{EFBIG};
inline constexpr Errno Errno::noSpace{ENOSPC};
inline constexpr Errno Errno::illegalSeek{ESPIPE};
inline constexpr Errno Errno::readOnlyFileSystem{EROFS};
inline constexpr Errno Errno::tooManyLinks{EMLINK};
inline constexpr Errno Errno::brokenPipe{EPIPE};
inline constexpr Errno Errno::outOfDomain{EDOM};
inline constexpr Errno Errno::outOfRange{ERANGE};
inline constexpr Errno Errno::resourceTemporarilyUnavailable{EAGAIN};
inline constexpr Errno Errno::wouldBlock{EWOULDBLOCK};
inline constexpr Errno Errno::nowInProgress{EINPROGRESS};
inline constexpr Errno Errno::alreadyInProcess{EALREADY};
inline constexpr Errno Errno::notSocket{ENOTSOCK};
inline constexpr Errno Errno::addressRequired{EDESTADDRREQ};
inline constexpr Errno Errno::messageTooLong{EMSGSIZE};
inline constexpr Errno Errno::protocolWrongTypeForSocket{EPROTOTYPE};
inline constexpr Errno Errno::protocolNotAvailable{ENOPROTOOPT};
inline constexpr Errno Errno::protocolNotSupported{EPROTONOSUPPORT};
inline constexpr Errno Errno::socketTypeNotSupported{ESOCKTNOSUPPORT};
inline constexpr Errno Errno::notSupported{ENOTSUP};
inline constexpr Errno Errno::protocolFamilyNotSupported{EPFNOSUPPORT};
inline constexpr Errno Errno::addressFamilyNotSupported{EAFNOSUPPORT};
inline constexpr Errno Errno::addressInUse{EADDRINUSE};
inline constexpr Errno Errno::addressNotAvailable{EADDRNOTAVAIL};
inline constexpr Errno Errno::networkDown{ENETDOWN};
inline constexpr Errno Errno::networkUnreachable{ENETUNREACH};
inline constexpr Errno Errno::networkReset{ENETRESET};
inline constexpr Errno Errno::connectionAbort{ECONNABORTED};
inline constexpr Errno Errno::connectionReset{ECONNRESET};
inline constexpr Errno Errno::noBufferSpace{ENOBUFS};
inline constexpr Errno Errno::socketIsConnected{EISCONN};
inline constexpr Errno Errno::socketNotConnected{ENOTCONN};
inline constexpr Errno Errno::socketShutdown{ESHUTDOWN};
inline constexpr Errno Errno::tooManyReferences{ETOOMANYREFS};
inline constexpr Errno Errno::timedOut{ETIMEDOUT};
inline constexpr Errno Errno::connectionRefused{ECONNREFUSED};
inline constexpr Errno Errno::tooManySymbolicLinkLevels{ELOOP};
inline constexpr Errno Errno::fileNameTooLong{ENAMETOOLONG};
inline constexpr Errno Errno::hostIsDown{EHOSTDOWN};
inline constexpr Errno Errno::noRouteToHost{EHOSTUNREACH};
inline constexpr Errno Errno::directoryNotEmpty{ENOTEMPTY};
inline constexpr Errno Errno::tooManyUsers{EUSERS};
inline constexpr Errno Errno::diskQuotaExceeded{EDQUOT};
inline constexpr Errno Errno::staleNFSFileHandle{ESTALE};
inline constexpr Errno Errno::tooManyRemoteLevels{EREMOTE};
inline constexpr Errno Errno::noLocks{ENOLCK};
inline constexpr Errno Errno::noFunction{ENOSYS};
inline constexpr Errno Errno::overflow{EOVERFLOW};
inline constexpr Errno Errno::canceled{ECANCELED};
inline constexpr Errno Errno::identifierRemoved{EIDRM};
inline constexpr Errno Errno::noMessage{ENOMSG};
inline constexpr Errno Errno::illegalByteSequence{EILSEQ};
inline constexpr Errno Errno::attributeNotFound{ENODATA};
inline constexpr Errno Errno::badMessage{EBADMSG};
inline constexpr Errno Errno::multiHop{EMULTIHOP};
inline constexpr Errno Errno::noData{ENODATA};
inline constexpr Errno Errno::noLink{ENOLINK};
inline constexpr Errno Errno::noStreamResources{ENOSR};
inline constexpr Errno Errno::notStream{ENOSTR};
inline constexpr Errno Errno::protocolError{EPROTO};
inline constexpr Errno Errno::timeout{ETIME};
inline constexpr Errno Errno::notSupportedOnSocket{EOPNOTSUPP};
inline constexpr Errno Errno::notRecoverable{ENOTRECOVERABLE};
inline constexpr Errno Errno::previousOwnerDied{EOWNERDEAD};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::Errno> {
    std::size_t operator()(lumenary::system::Errno value) const noexcept {
        return std::hash<std::int32_t>{}(value.rawValue());
    }
};
