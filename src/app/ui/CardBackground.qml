import QtQuick

// The card style every page shares.
Rectangle {
    color: Tokens.colorButtonfill
    radius: Tokens.cardRadius
}
