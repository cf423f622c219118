/* Stands in for the real tool: does nothing, so only start-up is measured. */
int main(void) {
    return 0;
}
