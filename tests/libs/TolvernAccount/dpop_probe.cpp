// Makes the given number of DPoP signers (default 1) in a process of its own and prints
// one line per signer: its backend ("keyring" or "memory") and its thumbprint. The
// signer tests run it to see what a second launch, or a desktop without a Secret
// Service, gets.
#include "DPoPSigner.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1;
    QTextStream out(stdout);
    for (int i = 0; i < count; ++i) {
        const DPoPSigner signer;
        out << (signer.backend() == DPoPSigner::Backend::keyring ? "keyring " : "memory ") << signer.jktThumbprint()
            << '\n';
    }
    return 0;
}
