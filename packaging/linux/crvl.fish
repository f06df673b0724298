# fish completion for crvl(1). The candidates come from crvl itself
# ("crvl __complete WORDS... CURRENT"), which reads the same command and option tables
# as its parser and its help; a last line ":files" or ":folders" asks for paths too.

function __crvl_complete
    set -l tokens (commandline -opc)
    set -l current (commandline -ct)
    set -l directive
    for line in ($tokens[1] __complete $tokens[2..-1] "$current" 2>/dev/null)
        if string match -q -- ':*' $line
            set directive (string sub -s 2 -- $line)
        else
            printf '%s\n' $line
        end
    end
    switch "$directive"
        case files
            __fish_complete_path $current
        case folders
            __fish_complete_directories $current
    end
end

complete -c crvl -f -a '(__crvl_complete)'
