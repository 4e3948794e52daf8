// The vision worker program: answers the server's analysis requests until
// its request pipe closes.
int main() {
    return 0;
}
