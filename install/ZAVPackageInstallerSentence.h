#pragma once

#include "platform/ZAVUserText.h"

#include <QByteArray>

// A sentence zav-pkg made for the user, as it arrives from zav-pkg (one line: its English
// source text and its arguments, separated by 0x1f; see pkg/ZAVPkgSentence.h), in English and
// in the user's language. The source text is looked up in the context "zav-pkg"; a source text
// without a translation reads in English. Any thread.
ZAVUserText ZAVPackageInstallerSentence(const QByteArray &line);
