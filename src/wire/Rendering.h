#pragma once

#include <QByteArrayView>
#include <QString>

#include <string_view>

// How the transfer monitor shows a text: a leading space, then one piece per byte.
// The status decoding reads positions in this rendering, so every character counts.
namespace tolvek {

inline constexpr std::string_view kRenderLead = " ";

constexpr std::string_view renderPiece(unsigned char c)
{
    // Each piece is a view into this table; "? " covers every byte not listed.
    constexpr std::string_view printable =
        "  ! \" # $ % & ' ( ) * + , - . / 0 1 2 3 4 5 6 7 8 9 : ; < = > ? @ "
        "A B C D E F G H I J K L M N O P Q R S T U V W X Y Z [ \\ ] ^ _ ` "
        "a b c d e f g h i j k l m n o p q r s t u v w x y z ";
    if (c == 0x06)
        return "ACK ";
    if (c == '\r')
        return "CR ";
    if (c == '\n')
        return "LF  ";
    if (c >= 0x20 && c <= 'z')
        return printable.substr(std::size_t(c - 0x20) * 2, 2);
    return "? ";
}

static_assert(renderPiece(0x06) == "ACK ");
static_assert(renderPiece('\r') == "CR ");
static_assert(renderPiece('\n') == "LF  ");
static_assert(renderPiece(' ') == "  ");
static_assert(renderPiece('0') == "0 ");
static_assert(renderPiece('z') == "z ");
static_assert(renderPiece('{') == "? ");
static_assert(renderPiece(0x00) == "? " && renderPiece('\t') == "? " && renderPiece(0x1f) == "? ");
static_assert(renderPiece(0x80) == "? " && renderPiece(0xff) == "? ");

// The table above is typed by hand: every printable byte must find itself in it.
constexpr bool printablesRenderAsThemselves()
{
    for (unsigned char c = ' '; c <= 'z'; ++c) {
        const char piece[] = {char(c), ' '};
        if (renderPiece(c) != std::string_view(piece, 2))
            return false;
    }
    return true;
}
static_assert(printablesRenderAsThemselves());

// The monitor rendering of a whole text.
QString render(QByteArrayView text);

// Appends the pieces of text, without the leading space, to out.
void appendRendering(QString &out, QByteArrayView text);

} // namespace tolvek
