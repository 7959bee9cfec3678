#!/usr/bin/perl
# pe-run-from-swap.pl PROGRAM: marks a PE program to be run from the swap
# file when it lies on removable media or on the network
# (IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP, IMAGE_FILE_NET_RUN_FROM_SWAP), and
# brings its header checksum up to date. Windows otherwise pages the image
# in from where it lies as it runs: a setup started from a share or a USB
# stick that goes away meanwhile ends with an in-page error (0xC0000006)
# instead of finishing. The linker has no option for these bits.
use strict;
use warnings;

@ARGV == 1 or die "usage: pe-run-from-swap.pl PROGRAM\n";
my ($program) = @ARGV;
open(my $in, '<:raw', $program) or die "$program: $!\n";
my $image = do { local $/; <$in> };
close $in;

length($image) >= 0x40 && substr($image, 0, 2) eq 'MZ' or die "$program: not a PE program\n";
my $pe = unpack('V', substr($image, 0x3C, 4));
$pe + 24 + 68 <= length($image) && substr($image, $pe, 4) eq "PE\0\0"
    or die "$program: not a PE program\n";
# COFF header behind the signature: Characteristics at 18; the optional
# header behind it holds CheckSum at 64, in PE32 and PE32+ alike.
my $characteristics = $pe + 4 + 18;
my $checksum = $pe + 24 + 64;
my $flags = unpack('v', substr($image, $characteristics, 2)) | 0x0400 | 0x0800;
substr($image, $characteristics, 2) = pack('v', $flags);

# The checksum: 16-bit words summed with their carries folded back, the
# checksum field counted as zero, plus the file's length.
substr($image, $checksum, 4) = pack('V', 0);
my $padded = length($image) % 2 ? $image . "\0" : $image;
my $sum = 0;
for my $word (unpack('v*', $padded)) {
    $sum += $word;
    $sum = ($sum & 0xFFFF) + ($sum >> 16);
}
$sum = ($sum & 0xFFFF) + ($sum >> 16);
substr($image, $checksum, 4) = pack('V', ($sum + length($image)) & 0xFFFFFFFF);

open(my $out, '>:raw', $program) or die "$program: $!\n";
print $out $image;
close $out or die "$program: $!\n";
