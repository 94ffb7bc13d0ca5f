// mocfsign end to end, against a test PKI the openssl command line makes
// once per run: every verdict in one table, openssl cms both ways, and a
// key on a SoftHSM2 token. Without the tools, or in a build without
// signatures, the tests are skipped, unless MOCF_REQUIRE_SIGNING=1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "test_util.h"

namespace {

using namespace testutil;

const std::string kSign = "'" MOCFSIGN_PATH "'";

// Roots and the intermediate are made in 2020, so that a signer of then
// chains at its signing time; "old" expired in 2020, "soon" expires within
// days, "nousage" may not sign, "casigner" is a CA, "server" serves TLS
// only, "stranger" chains to another root.
const char kPki[] = R"(set -e
cat >x.cnf <<'C'
[ca]
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
[leaf]
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
[nousage]
basicConstraints=CA:FALSE
keyUsage=critical,keyEncipherment
[casigner]
basicConstraints=CA:TRUE
[server]
extendedKeyUsage=serverAuth
C
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:$2 -out $1.key; }
cert() { openssl req -new -key $1.key -subj "/O=mocfsign test/CN=$1" |
  $4 openssl x509 -req -CA $2.pem -CAkey $2.key -days ${5:-365} -extfile x.cnf -extensions $3 -out $1.pem; }
root() { key $1 P-256; $2 openssl req -x509 -new -key $1.key -subj "/O=mocfsign test/CN=$1" -days 3650 \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign -out $1.pem; }
old="faketime 2020-01-01"
root root "$old"; root alien
key inter P-256; cert inter root ca "$old" 3650
for k in p256:P-256 p384:P-384 nousage:P-256 casigner:P-256 server:P-256 stranger:P-256 old:P-256 soon:P-256; do key ${k%:*} ${k#*:}; done
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.key
for k in p256 p384 rsa; do cert $k inter leaf; done
for k in nousage casigner server; do cert $k inter $k; done; cert stranger alien leaf; cert old inter leaf "$old" 30; cert soon inter leaf "" 5
openssl pkey -in p256.key -aes256 -passout pass:secret -out enc.key; cp p256.pem enc.pem
openssl pkcs8 -topk8 -nocrypt -in p256.key -out p256.pk8
printf '0x1A2B\n' >p.txt; printf 'some user file' >a.txt
T=')" MOCFTOOL_PATH R"('; "$T" -m m.mocf -d -f p.txt -t CompatProd; "$T" -m m.mocf -f a.txt -t user
"$T" -m other.mocf -d -f p.txt -t CompatProd
)";

// What every row's shell knows: the PKI at P, the programs, and short words
// for signing with a signer of the PKI, verifying, and openssl cms.
std::string Prelude(const std::string& pki) {
  return "P=" + pki + " S=" + kSign + " T='" MOCFTOOL_PATH "'; export PW=secret PIN=1234 "
         "SOFTHSM2_CONF=$PWD/hsm.conf MOCF_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so\n"
         R"sh(sign() { k=$1 m=$2; shift 2; "$S" -m $m --key $P/$k.key --cert $P/$k.pem --chain $P/inter.pem "$@"; }
verify() { "$S" --verify -m m.mocf --trust $P/root.pem "$@"; }
flip() { b=$(od -An -tu1 -j$2 -N1 $1); printf "\\$(printf %o $((b ^ 1)))" | dd of=$1 bs=1 seek=$2 conv=notrunc status=none; }
osslverify() { openssl cms -verify -binary -inform DER -in m.mocf.sig -content m.mocf -CAfile $P/root.pem -purpose any -out /dev/null; }
osslsign() { $F openssl cms -sign -binary -outform DER -md sha256 -signer $P/$1.pem -inkey $P/$1.key -certfile $P/inter.pem -in m.mocf -out m.mocf.sig; }
)sh";
}

// Why the tests cannot run here, or "". A build without signatures must
// still refuse each of its modes, with the reason.
std::string Unready(const std::string& tools) {
  const TempDir dir;
  const std::string out = Sh(dir.path(), "for a in '--show x.sig' '--verify -m m --trust t' "
                                         "'-m m --key k --cert c'; do " + kSign + " $a; echo status $?; done");
  if (out.find("no signature support") != std::string::npos) {
    const std::string refused = out.substr(0, out.find('\n') + 1) + "status 2\n";
    EXPECT_EQ(refused + refused + refused + "[exit 0]\n", out);
    return "mocfsign has no signature support in this build";
  }
  const std::string missing = Sh(dir.path(), "for t in " + tools + "; do command -v $t >/dev/null || echo $t; done");
  return missing == "[exit 0]\n" ? "" : "not installed: " + missing.substr(0, missing.find('['));
}

// Windows programs never sign: there the refusals above are the test.
#define NEED_SIGNING(tools)                                                             \
  if (const std::string unready = Unready(tools); !unready.empty()) {                   \
    if (const char* p = std::getenv("MOCF_REQUIRE_SIGNING"); p && *p == '1' && !kProgramsUnderWine) \
      FAIL() << unready << " (MOCF_REQUIRE_SIGNING=1)";                                 \
    GTEST_SKIP() << unready;                                                            \
  }

// The PKI and the MOCFs, made once for the test program.
const std::string& Pki() {
  static const TempDir dir;
  static const std::string made = Sh(dir.path(), "(" + std::string(kPki) + ") >pki.log 2>&1 || cat pki.log");
  EXPECT_EQ("[exit 0]\n", made);
  return dir.path();
}

struct Row_t {
  std::string setup, command;
  int status;
  std::string said;
};

// Each row in a folder of its own holding the MOCFs: the setup must
// succeed, the command give its status and say its words, and a command
// that fails leaves every file as it was.
void RunRows(const std::vector<Row_t>& rows) {
  const TempDir dir;
  const std::string prelude = Prelude(Pki());
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row_t& row = rows[i];
    const std::string folder = dir.File(std::to_string(i));
    ASSERT_EQ("[exit 0]\n", Sh(dir.path(), "mkdir " + std::to_string(i)));
    const std::string setup = "{ cp $P/m.mocf $P/other.mocf $P/a.txt .; " + row.setup + "\n} >/dev/null";
    ASSERT_EQ("[exit 0]\n", Sh(folder, prelude + setup + " 2>../err || cat ../err")) << row.setup;
    const std::string before = Tree(folder);
    const std::string out = Sh(folder, prelude + row.command);
    EXPECT_NE(std::string::npos, out.find("[exit " + std::to_string(row.status) + "]\n"))
        << row.command << "\n" << out;
    EXPECT_NE(std::string::npos, out.find(row.said)) << row.command << "\n" << out;
    if (row.status) {
      EXPECT_EQ(before, Tree(folder)) << row.command;
    }
  }
}

TEST(Mocfsign, EachVerdictWithItsStatusAndWords) {
  NEED_SIGNING("openssl faketime python3 script");
  // openssl signs in the past: a sanitized mocfsign may hang in faketime's preload.
  const std::string expired = "F='faketime 2020-01-10'; osslsign old";
  RunRows({
      {"", "sign p256 m.mocf", 0, "m.mocf.sig: 1 signer"},
      {"", "sign soon m.mocf", 0, "mocfsign: warning: "},
      {"sign p256 m.mocf", "verify", 0, "m.mocf: verified by 1 signer, 1 required"},
      {"sign rsa m.mocf -o x.sig", "verify --sig x.sig", 0, "CN=rsa (issued by O=mocfsign test,CN=inter): verified"},
      {"sign p384 m.mocf && flip m.mocf 30", "verify", 1, "does not verify: the MOCF is not valid"},
      {"sign p256 other.mocf", "verify --sig other.mocf.sig", 1, "does not verify: signed other bytes than m.mocf's"},
      {"sign stranger m.mocf", "verify 2>&1 >/dev/null", 1, "mocfsign: signer 1 (O=mocfsign test,CN=stranger): untrusted signer: its certificate does not chain to one in"},
      {expired, "verify", 1, "expired certificate: the certificate O=mocfsign test,CN=old expired at 2020-01-31"},
      {expired, "verify --at-signing-time", 0, "(validity judged at the signing time each signer signed)"},
      {"osslsign nousage", "verify", 1, "wrong key usage: its certificate's key usage leaves out digitalSignature"},
      {"osslsign casigner", "verify", 1, "a CA as signer: its certificate is a CA's (basicConstraints CA:TRUE)"},
      {"osslsign server", "verify", 1, "wrong key usage: its certificate's extended key usage leaves out codeSigning"},
      {"", "sign server m.mocf", 2, "server.pem cannot sign: wrong key usage: its certificate's extended key usage"},
      {"sign p256 m.mocf && flip m.mocf.sig $(($(wc -c <m.mocf.sig) - 5))", "verify", 1, "damaged signature: the signature itself does not verify"},
      {"sign p256 m.mocf && head -c 150 m.mocf.sig >c && mv c m.mocf.sig", "verify", 1, "m.mocf.sig: damaged signature: it is no DER CMS signature"},
      {"", "verify", 1, "m.mocf: does not verify: there is no signature m.mocf.sig"},
      {"sign p256 m.mocf && sign rsa m.mocf", "verify --signers 2", 0, "verified by 2 signers, 2 required"},
      {"sign p256 m.mocf && sign stranger m.mocf", "verify --signers 2", 1, "1 signer verifies, 2 required"},
      {"osslsign p256 && openssl cms -resign -binary -inform DER -outform DER -in m.mocf.sig -signer $P/p256.pem -inkey $P/p256.key -md sha256 -nocerts -out 2.sig && mv 2.sig m.mocf.sig",
       "verify --signers 2", 1, "1 signer verifies, 2 required"},
      {"sign p256 m.mocf && sign stranger m.mocf", "verify", 0, "m.mocf: verified by 1 signer, 1 required"},
      {"", "$S --verify -m m.mocf", 2, "mocfsign never verifies without one"},
      {"sign p256 m.mocf", "$S --verify -m m.mocf --trust $P/root.key", 2, "root.key holds no PEM certificate"},
      {"", "$S --verify -m gone.mocf --trust $P/root.pem", 2, "mocfsign: cannot read gone.mocf"},
      {"mkdir m.mocf.sig", "verify", 2, "mocfsign: cannot read m.mocf.sig: Is a directory"},
      {"sign p256 m.mocf && \"$T\" -m m.mocf -f a.txt -t user", "sign p384 m.mocf", 2, "m.mocf.sig signed other bytes than m.mocf's: it is left as it is"},
      {"sign p256 m.mocf", "sign p256 m.mocf", 2, "p256.pem has already signed m.mocf.sig"},
      {"printf junk >j.mocf", "sign p256 j.mocf", 2, "mocfsign: j.mocf is not a valid MOCF"},
      {"", "$S -m m.mocf --key $P/p256.key --cert $P/p384.pem", 2, "p256.key does not match the certificate"},
      {"", "sign old m.mocf", 2, "old.pem has expired"},
      {"openssl x509 -in $P/p256.pem -outform DER | python3 -c \"import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().replace("
       "bytes.fromhex('06072A8648CE3D0201'), bytes.fromhex('06072A8648CE3D0209')))\" | openssl x509 -inform DER -out u.pem",
       "$S -m m.mocf --key $P/p256.key --cert u.pem", 2, "u.pem: its public key cannot be read"},
      {"mkdir m.mocf.sig", "sign p256 m.mocf", 2, "mocfsign: cannot read m.mocf.sig: Is a directory"},
      {"", "sign enc m.mocf", 2, "enc.key is encrypted: give its passphrase with --pass"},
      {"", "sign enc m.mocf --pass env:PW && verify", 0, "verified by 1 signer"},
      {"", "sign enc m.mocf --pass pass:secret", 2, "never give a secret as a command-line word"},
      {"", "$S -m m.mocf --key 'pkcs11:token=T;object=L;pin-value=1234' --cert $P/p256.pem", 2, "use pin-source= or --pass"},
      {"", "verify --signers 0", 2, "--signers 0: N is a count of signers from 1"},
      {"", "verify -o x.sig", 2, "-o goes with signing, not with --verify"},
      {"", "verify --show x.sig", 2, "--verify and --show do not go together"},
      {"printf junk >g.sig", "$S --show g.sig", 2, "mocfsign: g.sig: damaged signature"},
      {"sign p256 m.mocf && sign rsa m.mocf", "$S --show m.mocf.sig", 0, "key:      RSA 2048"},
      {"sign p256 m.mocf", "$S --show m.mocf.sig --json | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d[\"show_version\"], d[\"signers\"][0][\"key_type\"])'", 0, "1 ECDSA P-256"},
      {"sign p256 m.mocf", "verify --json | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d[\"verify_version\"], d[\"signers\"][0][\"verified\"])'", 0, "1 True"},
      {"sign rsa m.mocf", "osslverify", 0, "Verification successful"},
      {"sign p384 m.mocf", "osslverify", 0, "Verification successful"},
      {"osslsign p256", "verify", 0, "verified by 1 signer"},
  });
  // The portable build neither maps a MOCF nor tells a terminal.
  if (!platform::IsDurable()) return;
  RunRows({
      {"head -c 64000000 /dev/zero >z && \"$T\" -m m.mocf -f z -t user && rm z && cp m.mocf c.mocf",
       "\"$S\" --verify -m c.mocf --trust $P/root.pem & p=$!; until grep -q c.mocf /proc/$p/maps 2>/dev/null || ! kill -0 $p; do :; done; "
       ": >c.mocf; wait $p; s=$?; cp m.mocf c.mocf; (exit $s)", 2, "mocfsign: c.mocf: the file was cut short while it was read"},
      {"", "script -qec \"$S -m m.mocf --key $P/enc.key --cert $P/enc.pem --pass stdin\" /dev/null", 2, "--pass stdin: standard input is a terminal"},
  });
}

TEST(Mocfsign, SignsWithAKeyOnAToken) {
  NEED_SIGNING("openssl softhsm2-util");
  RunRows({{"mkdir tokens && echo \"directories.tokendir = $PWD/tokens\" >hsm.conf && "
            "softhsm2-util --init-token --free --label T --pin 1234 --so-pin 123456 && "
            "softhsm2-util --import $P/p256.pk8 --token T --label L --id 01 --pin 1234",
            "$S -m m.mocf --key 'pkcs11:token=T;object=L;type=private' --cert $P/p256.pem "
            "--chain $P/inter.pem --pass env:PIN && osslverify",
            0, "Verification successful"}});
}

}  // namespace
