// TLS for the syslog sender (see KvlSyslogTls.h).

#include "KvlSyslogTls.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace kvl::net {

struct TlsSession::Handles {
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_session_t session = nullptr;
    bool established = false;  // the handshake was made
    ~Handles() {
        if (session != nullptr) gnutls_deinit(session);
        if (credentials != nullptr) gnutls_certificate_free_credentials(credentials);
    }
};

namespace {

bool isAddress(const std::string &host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 ||
           inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Why a handshake failed with `error`: for a certificate, what was wrong
// with it.
std::string whyFailed(gnutls_session_t session, int error) {
    if (error != GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) return gnutls_strerror(error);
    gnutls_datum_t text{};
    const unsigned status = gnutls_session_get_verify_cert_status(session);
    if (gnutls_certificate_verification_status_print(status, gnutls_certificate_type_get(session),
                                                     &text, 0) != 0)
        return gnutls_strerror(error);
    std::string why(reinterpret_cast<const char *>(text.data), text.size);
    gnutls_free(text.data);
    while (!why.empty() && (why.back() == ' ' || why.back() == '.'))  // the message ends it
        why.pop_back();
    return why;
}

}  // namespace

std::string TlsSession::open(int fd, const std::string &host, const TlsSettings &settings,
                             std::chrono::steady_clock::time_point deadline) {
    close();
    handles_ = new Handles;
    Handles &h = *handles_;
    if (gnutls_certificate_allocate_credentials(&h.credentials) != 0) return "out of memory";
    if (!settings.caFile.empty()) {
        if (gnutls_certificate_set_x509_trust_file(h.credentials, settings.caFile.c_str(),
                                                   GNUTLS_X509_FMT_PEM) <= 0)
            return "no CA certificate could be read from " + settings.caFile;
    } else if (settings.verifyPeer &&
               gnutls_certificate_set_x509_system_trust(h.credentials) <= 0) {
        return "the system's trust store has no CA certificate";
    }
    if (!settings.certFile.empty() &&
        gnutls_certificate_set_x509_key_file(h.credentials, settings.certFile.c_str(),
                                             settings.keyFile.c_str(), GNUTLS_X509_FMT_PEM) != 0)
        return "the certificate " + settings.certFile + " or its key could not be read";
    if (gnutls_init(&h.session, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL) != 0 ||
        gnutls_set_default_priority(h.session) != 0 ||
        gnutls_credentials_set(h.session, GNUTLS_CRD_CERTIFICATE, h.credentials) != 0)
        return "the TLS session could not be set up";
    if (!isAddress(host))
        gnutls_server_name_set(h.session, GNUTLS_NAME_DNS, host.data(), host.size());
    if (settings.verifyPeer) gnutls_session_set_verify_cert(h.session, host.c_str(), 0);
    gnutls_transport_set_int(h.session, fd);
    for (;;) {
        const int done = gnutls_handshake(h.session);
        if (done == 0) {
            h.established = true;
            return "";
        }
        if (gnutls_error_is_fatal(done) != 0) return whyFailed(h.session, done);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "the handshake timed out";
        pollfd wanted{
            fd, static_cast<short>(gnutls_record_get_direction(h.session) ? POLLOUT : POLLIN), 0};
        if (poll(&wanted, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return "the handshake failed";
    }
}

ssize_t TlsSession::send(const char *data, size_t size) {
    if (handles_ == nullptr || handles_->session == nullptr) {
        errno = ENOTCONN;
        return -1;
    }
    const ssize_t n =
        pending_ ? gnutls_record_send(handles_->session, nullptr, 0)
                 : gnutls_record_send(handles_->session, data, std::min(size, kMostPerSend));
    pending_ = n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED;
    if (n >= 0) return n;
    errno = pending_ ? EAGAIN : EPIPE;
    return -1;
}

bool TlsSession::end() {
    if (handles_ == nullptr || !handles_->established) return true;
    const int done = gnutls_bye(handles_->session, GNUTLS_SHUT_WR);
    if (done == GNUTLS_E_AGAIN || done == GNUTLS_E_INTERRUPTED) return false;
    handles_->established = false;
    return true;
}

void TlsSession::close() {
    delete handles_;
    handles_ = nullptr;
    pending_ = false;
}

}  // namespace kvl::net
