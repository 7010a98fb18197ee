#!/usr/bin/env perl
# Lists user-visible texts that reach a widget or a message box as bare string literals, i.e.
# without Tr()/DataTr(), so xgettext never sees them. Exits 1 when it finds any.
# Usage: find-untranslated.pl FILE...
use strict;
use warnings;

# Call => index of the argument that is shown to the user (0-based).
my %shown = (
    'ShowMessage' => 0, 'CMessageBox::Show' => 0, 'ShowStatus' => 0, 'SetSearchBtnLabel' => 0,
    'NewLabel' => 0, 'NewButton' => 0, 'NewDayButton' => 0, 'CChangeIconDlg' => 3,
    'gtk_label_new' => 0, 'gtk_label_new_with_mnemonic' => 0, 'gtk_label_set_text' => 1,
    'gtk_label_set_markup' => 1, 'gtk_label_set_text_with_mnemonic' => 1,
    'gtk_button_new_with_label' => 0, 'gtk_button_new_with_mnemonic' => 0, 'gtk_button_set_label' => 1,
    'gtk_check_button_new_with_label' => 0, 'gtk_check_button_new_with_mnemonic' => 0,
    'gtk_toggle_button_new_with_label' => 0, 'gtk_link_button_new_with_label' => 1,
    'gtk_window_set_title' => 1, 'gtk_window_set_wmclass' => 1, 'gtk_widget_set_tooltip_text' => 1,
    'gtk_tree_view_column_new_with_attributes' => 0, 'gtk_tree_view_column_set_title' => 1,
    'gtk_file_chooser_dialog_new' => 0, 'gtk_file_filter_set_name' => 1,
    'gtk_notebook_set_tab_label_text' => 2, 'gtk_progress_bar_set_text' => 1,
    'gtk_message_dialog_new' => 4, 'atk_object_set_name' => 1, 'atk_object_set_description' => 1,
);
my $calls = join '|', map { quotemeta } sort { length $b <=> length $a } keys %shown;

# Blanks out comments (keeping line breaks) so a commented-out call is not reported.
sub strip_comments {
    my ($src) = @_;
    $src =~ s{("(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*')|(/\*.*?\*/|//[^\n]*)}
             { defined $1 ? $1 : do { (my $c = $2) =~ s/[^\n]/ /g; $c } }gse;
    return $src;
}

# The top-level arguments of the call whose "(" is at $pos, as texts.
sub arguments {
    my ($src, $pos) = @_;
    my ($depth, $cur, @args) = (0, '');
    for (my $i = $pos; $i < length $src; ++$i) {
        my $ch = substr($src, $i, 1);
        if ($ch eq '"' || $ch eq "'") {
            my $rest = substr($src, $i);
            $rest =~ /^(${ch}(?:\\.|[^${ch}\\])*${ch})/s or last;
            $cur .= $1; $i += length($1) - 1; next;
        }
        if ($ch eq '(' || $ch eq '{' || $ch eq '[') { $cur .= $ch if $depth++; next; }
        if ($ch eq ')' || $ch eq '}' || $ch eq ']') { last unless --$depth; $cur .= $ch; next; }
        if ($ch eq ',' && $depth == 1) { push @args, $cur; $cur = ''; next; }
        $cur .= $ch;
    }
    push @args, $cur;
    return @args;
}

my $found = 0;
for my $file (@ARGV) {
    open my $fh, '<', $file or die "$file: $!\n";
    my $src = strip_comments(do { local $/; <$fh> });
    close $fh;
    while ($src =~ /(?<![\w:])($calls)\s*\(/g) {
        my ($name, $open) = ($1, pos($src) - 1);
        my @args = arguments($src, $open);
        my $arg = $args[$shown{$name}] // '';
        $arg =~ s/^\s+|\s+$//g;
        # A literal with a letter outside its directives is a text; "", " 8" and "%s" are not.
        (my $words = $arg) =~ s/%[-+ #0-9.]*[a-zA-Z]//g;
        if ($arg =~ /^"(?:\\.|[^"\\])*"$/ && $words =~ /[A-Za-z]/) {
            my $line = 1 + (() = substr($src, 0, $open) =~ /\n/g);
            print "$file:$line: $name shows $arg without a lookup\n";
            $found = 1;
        }
        pos($src) = $open + 1;
    }
    # The data library hands its texts out through "message" parameters.
    while ($src =~ /\bmessage\s*=\s*("(?:\\.|[^"\\])*")/g) {
        my $line = 1 + (() = substr($src, 0, $-[0]) =~ /\n/g);
        print "$file:$line: message set to $1 without a lookup\n";
        $found = 1;
    }
}
exit $found;
