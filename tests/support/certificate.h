// A self-signed certificate made with openssl when a test needs HTTPS, valid for 127.0.0.1,
// localhost and example.com.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace ravelkin::test {

struct TestCertificate {
  std::string dir, certFile, keyFile;

  TestCertificate() {
    char tmpl[] = "/tmp/ravelkin-cert-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    dir = tmpl;
    certFile = dir + "/cert.pem";
    keyFile = dir + "/key.pem";
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,DNS:localhost,DNS:example.com"
        " -keyout " +
        keyFile + " -out " + certFile + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl req failed");
  }
  ~TestCertificate() { std::filesystem::remove_all(dir); }
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;
};

}  // namespace ravelkin::test
