#pragma once
// OpenSSL, loaded on the first TLS connection rather than linked: a program
// that never sends mail over TLS never maps libssl and libcrypto. Only the
// declarations of the OpenSSL headers are used; every function is reached
// through the table below.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

namespace meru {

// X(name): one OpenSSL function, called through TlsLibrary::p<name>.
#define MERU_TLS_FUNCTIONS(X)           \
    X(ERR_clear_error)                  \
    X(ERR_error_string_n)               \
    X(ERR_get_error)                    \
    X(ERR_peek_error)                   \
    X(TLS_client_method)                \
    X(SSL_CTX_new)                      \
    X(SSL_CTX_free)                     \
    X(SSL_CTX_ctrl)                     \
    X(SSL_CTX_set_verify)               \
    X(SSL_CTX_set_default_verify_paths) \
    X(SSL_CTX_load_verify_locations)    \
    X(SSL_new)                          \
    X(SSL_free)                         \
    X(SSL_ctrl)                         \
    X(SSL_set_fd)                       \
    X(SSL_get0_param)                   \
    X(SSL_connect)                      \
    X(SSL_read)                         \
    X(SSL_write)                        \
    X(SSL_get_error)                    \
    X(SSL_get_verify_result)            \
    X(X509_VERIFY_PARAM_set1_host)      \
    X(X509_VERIFY_PARAM_set1_ip_asc)    \
    X(X509_VERIFY_PARAM_set_hostflags)  \
    X(X509_verify_cert_error_string)

struct TlsLibrary {
#define MERU_TLS_POINTER(name) decltype(&::name) p##name = nullptr;
    MERU_TLS_FUNCTIONS(MERU_TLS_POINTER)
#undef MERU_TLS_POINTER
};

// The system's libssl of the OpenSSL version built against ("libssl.so.3").
const char* DefaultTlsLibraryName();

// Loads the library (once per name, kept for the life of the process) and
// looks up every function. Null, with "TLS support could not be loaded: ..."
// in *pError, when the library or one of its functions is missing.
const TlsLibrary* LoadTlsLibrary(const std::string& strName, std::string* pError);

}  // namespace meru
