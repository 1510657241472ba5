#pragma once
// The text the eSpeak NG driver hands to eSpeak NG for one synthesis call:
// the chunk with the user's lexicon applied, made safe for eSpeak NG 1.51,
// which crashes or reads freed memory on some input:
// - phonemes ("[[...]]") are copied into a 200-byte buffer per word without a
//   bound, so phoneme words are cut into pieces well below that;
// - characters of Indic, Georgian, old Hangul and Greek blocks that it
//   spells in the script's own language without knowing them (digits, signs,
//   letters newer than its tables) make it switch language in the middle of
//   a lookup and read the freed dictionary; digits of every script are given
//   as ASCII digits, the others as a blank; a word mixing scripts does the
//   same, so it is split where the script changes;
// - unpaired surrogates, non-characters, unassigned and private-use code
//   points and control characters become blanks;
// - over-long words are split, and "[[" or "]]" in plain text is broken up,
//   so a text can never switch phoneme input on or off by itself.
// Every change keeps one code point for one, or inserts a blank, so word
// positions still map onto the chunk.

#include "Lexicon.h"

#include <QHash>
#include <QString>

#include <vector>

namespace sapi {

struct EspeakInput {
    QString text;           // given to eSpeak NG as UTF-8
    std::vector<int> map;   // per code point of text: the UTF-16 index in the chunk it stands for
    bool phonemes = false;  // text holds "[[...]]" phonemes: synthesize with espeakPHONEMES
};

namespace EspeakText {

// Longest run without a blank that is passed on as one word.
constexpr int kMaxWordLength = 64;
// Longest phoneme word; eSpeak NG overruns its buffer from 200 bytes on.
constexpr int kMaxPhonemeWordLength = 64;

// Plain text: every whole word with a lexicon entry is replaced by its sound
// (a replacement maps to the start of its word).
EspeakInput fromText(const QString &chunk, const QHash<QString, LexiconEntry> &entries);
// A chunk that is eSpeak NG phonemes as a whole.
EspeakInput fromPhonemes(const QString &chunk);

}  // namespace EspeakText

}  // namespace sapi
